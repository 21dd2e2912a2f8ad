#pragma once
// Files handed to other programs as files: on the clipboard and dragged out of a window. OLE must be
// initialised (OleInitialize, not only CoInitializeEx) on the thread that places or drags.
#include <windows.h>
#include <cstddef>
#include <functional>
#include <iterator>
#include <ole2.h>
#include <string_view>
#include <utility>
#include <vector>

// Whole paths one after another, each ended by a null: the layout CF_HDROP wants, so a million paths
// are one block of memory rather than a million strings. Made on any thread.
class TPathList {
  public:
    // Room for this many more paths of this many characters in all, so the block grows once.
    void Reserve(std::size_t paths, std::size_t characters);
    // An empty path is left out: its null would end the list.
    void Add(std::wstring_view path);
    std::size_t Count() const { return count_; }
    // All paths' characters with their nulls, without the list's closing null.
    const std::vector<wchar_t>& Packed() const { return chars_; }

    // The paths in the order added; each view's data is null-terminated.
    class TIterator {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::wstring_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::wstring_view;
        TIterator() = default;
        explicit TIterator(const wchar_t* at) : at_(at) {}
        std::wstring_view operator*() const { return at_; }
        TIterator& operator++();
        TIterator operator++(int) {
            TIterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const TIterator&) const = default;

      private:
        const wchar_t* at_ = nullptr;
    };
    TIterator begin() const { return TIterator(chars_.data()); }
    TIterator end() const { return TIterator(chars_.data() + chars_.size()); }

  private:
    std::vector<wchar_t> chars_;
    std::size_t count_ = 0;
};

// One reference to a COM object, released when it goes.
template <typename T> class TComPtr {
  public:
    TComPtr() = default;
    // Takes over a reference the caller holds.
    explicit TComPtr(T* owned) : p_(owned) {}
    TComPtr(const TComPtr& other) : p_(other.p_) {
        if (p_)
            p_->AddRef();
    }
    TComPtr(TComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    TComPtr& operator=(TComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~TComPtr() { Reset(); }
    void Reset() {
        if (T* p = std::exchange(p_, nullptr))
            p->Release();
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For a call that hands out a reference: what was held is released first.
    T** Put() {
        Reset();
        return &p_;
    }

  private:
    T* p_ = nullptr;
};

// Above this many paths no "Shell IDList Array" is offered: forming one costs a shell call a file.
constexpr std::size_t MaxShellIdListPaths = 10000;

// A data object over the paths (Wine's SHCreateDataObject is a stub). Every format is made when a
// target asks for it, never before:
//  - CF_HDROP: DROPFILES, wide, the paths whole as given (also past 260 characters);
//  - "Preferred DropEffect": DROPEFFECT_COPY;
//  - "Shell IDList Array" (a CIDA: the desktop as parent, each file's absolute item list), up to
//    MaxShellIdListPaths paths, once the shell has formed one for every path; after the shell failed
//    on one it is no longer offered;
//  - CF_UNICODETEXT and CF_TEXT (ANSI code page): the paths one a line, "\r\n" between lines.
// SetData keeps any HGLOBAL format (the drag-image helper stores its own there); what it keeps is
// given back by GetData and EnumFormatEtc, before a format of the object's own of the same number.
TComPtr<IDataObject> NewFileDataObject(TPathList paths);
// The same over paths made only when a target first asks for them: make is called once, on the thread
// that asks, and must give count paths.
TComPtr<IDataObject> NewFileDataObject(std::size_t count, std::function<TPathList()> make);

// Places data (one made above) with OleSetClipboard, trying again for about a quarter of a second
// while another program holds the clipboard. On failure false, and GetLastError gives the reason: a
// system error code, or the failing HRESULT (CLIPBRD_E_CANT_OPEN when the clipboard stayed held).
bool PlaceFilesOnClipboard(IDataObject* data);

// At program end: while the clipboard still holds the data last placed above, its formats are
// rendered into the clipboard (OleFlushClipboard), so a paste works after the program has closed.
// False when the clipboard could not be opened for that.
bool FlushFilesOnClipboard();

// Drags data out of window from (DoDragDrop): copy and link allowed, Esc cancels, releasing the left
// button drops, with the system's drag image where it gives one. cursor: where the drag started, in
// from's client coordinates. Returns the effect the target chose, DROPEFFECT_NONE when cancelled.
DWORD DragFiles(IDataObject* data, HWND from, POINT cursor);
