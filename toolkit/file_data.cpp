#include "toolkit/file_data.h"
#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>
#include <functional>
#include <mutex>
#include <optional>
#include <shlobj.h>

void TPathList::Reserve(std::size_t paths, std::size_t characters) {
    chars_.reserve(chars_.size() + characters + paths);
}

void TPathList::Add(std::wstring_view path) {
    if (path.empty())
        return;
    chars_.insert(chars_.end(), path.begin(), path.end());
    chars_.push_back(L'\0');
    ++count_;
}

TPathList::TIterator& TPathList::TIterator::operator++() {
    at_ += std::wcslen(at_) + 1;
    return *this;
}

namespace {

const CLIPFORMAT PreferredDropEffectFormat =
    static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CFSTR_PREFERREDDROPEFFECT));
const CLIPFORMAT ShellIdListFormat = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CFSTR_SHELLIDLIST));

// The data object last placed on the clipboard, cleared when it goes.
std::atomic<IDataObject*> placed{nullptr};

// Moveable global memory of size bytes, filled by fill; null when there is no memory.
template <typename Fill> HGLOBAL MakeGlobal(std::size_t size, Fill fill) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
    if (!memory)
        return nullptr;
    void* at = GlobalLock(memory);
    if (!at) {
        GlobalFree(memory);
        return nullptr;
    }
    fill(static_cast<BYTE*>(at));
    GlobalUnlock(memory);
    return memory;
}

HGLOBAL CopyGlobal(HGLOBAL from) {
    const SIZE_T size = GlobalSize(from);
    const void* source = size ? GlobalLock(from) : nullptr;
    if (size && !source)
        return nullptr;
    HGLOBAL copy = MakeGlobal(size, [&](BYTE* at) {
        if (size)
            std::memcpy(at, source, size);
    });
    if (source)
        GlobalUnlock(from);
    return copy;
}

// One interface and IUnknown, with a count any thread may change.
template <typename Self, typename Interface> class TComObject : public Interface {
  public:
    virtual ~TComObject() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (id != IID_IUnknown && id != __uuidof(Interface))
            return E_NOINTERFACE;
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete static_cast<Self*>(this);
        return left;
    }

  private:
    std::atomic<ULONG> references_{1};
};

class TFormatEnumerator : public TComObject<TFormatEnumerator, IEnumFORMATETC> {
  public:
    explicit TFormatEnumerator(std::vector<FORMATETC> formats, std::size_t at = 0)
        : formats_(std::move(formats)), at_(at) {}
    HRESULT STDMETHODCALLTYPE Next(ULONG count, FORMATETC* formats, ULONG* fetched) override {
        if (!formats || (count != 1 && !fetched))
            return E_POINTER;
        ULONG given = 0;
        for (; given < count && at_ < formats_.size(); ++given)
            formats[given] = formats_[at_++];
        if (fetched)
            *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        const std::size_t left = formats_.size() - at_;
        at_ += std::min<std::size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        at_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC** copy) override {
        if (!copy)
            return E_POINTER;
        *copy = new TFormatEnumerator(formats_, at_);
        return S_OK;
    }

  private:
    std::vector<FORMATETC> formats_;
    std::size_t at_;
};

class TFileDataObject : public TComObject<TFileDataObject, IDataObject> {
  public:
    TFileDataObject(std::size_t count, std::function<TPathList()> make)
        : count_(count), make_(std::move(make)) {}
    ~TFileDataObject() override {
        IDataObject* self = this;
        placed.compare_exchange_strong(self, nullptr);
        for (const auto& [format, memory] : kept_)
            GlobalFree(memory);
    }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!format || !medium)
            return E_INVALIDARG;
        *medium = {};
        const HRESULT usable = QueryGetData(format);
        if (usable != S_OK)
            return usable;
        HGLOBAL memory = nullptr;
        const HRESULT made = Make(format->cfFormat, memory);
        if (FAILED(made))
            return made;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        if (!format)
            return E_INVALIDARG;
        const std::vector<FORMATETC> offered = Formats();
        if (std::none_of(offered.begin(), offered.end(),
                         [&](const FORMATETC& each) { return each.cfFormat == format->cfFormat; }))
            return DV_E_FORMATETC;
        if (format->dwAspect != DVASPECT_CONTENT)
            return DV_E_DVASPECT;
        return format->tymed & TYMED_HGLOBAL ? S_OK : DV_E_TYMED;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override {
        if (!in || !out)
            return E_INVALIDARG;
        *out = *in;
        out->ptd = nullptr;
        return DATA_S_SAMEFORMATETC;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override {
        if (!format || !medium)
            return E_INVALIDARG;
        if (format->dwAspect != DVASPECT_CONTENT)
            return DV_E_DVASPECT;
        if (!(format->tymed & TYMED_HGLOBAL) || medium->tymed != TYMED_HGLOBAL)
            return DV_E_TYMED;
        // A copy, whoever owns the original (its pUnkForRelease may hold it).
        HGLOBAL copy = CopyGlobal(medium->hGlobal);
        if (!copy)
            return E_OUTOFMEMORY;
        if (release)
            ReleaseStgMedium(medium);
        std::lock_guard lock(mutex_);
        for (auto& [kept, memory] : kept_)
            if (kept == format->cfFormat) {
                GlobalFree(std::exchange(memory, copy));
                return S_OK;
            }
        kept_.emplace_back(format->cfFormat, copy);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override {
        if (!formats)
            return E_POINTER;
        *formats = nullptr;
        if (direction != DATADIR_GET)
            return E_NOTIMPL;
        *formats = new TFormatEnumerator(Formats());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

  private:
    std::vector<FORMATETC> Formats() {
        std::vector<CLIPFORMAT> numbers{CF_HDROP};
        {
            std::lock_guard lock(mutex_);
            if (count_ <= MaxShellIdListPaths && !(idList_ && idList_->empty()))
                numbers.push_back(ShellIdListFormat);
            for (const auto& [kept, memory] : kept_)
                numbers.push_back(kept);
        }
        numbers.insert(numbers.end(), {PreferredDropEffectFormat, CF_UNICODETEXT, CF_TEXT});
        std::vector<FORMATETC> formats;
        for (CLIPFORMAT number : numbers)
            if (std::none_of(formats.begin(), formats.end(),
                             [&](const FORMATETC& each) { return each.cfFormat == number; }))
                formats.push_back({number, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
        return formats;
    }

    HRESULT Make(CLIPFORMAT format, HGLOBAL& memory) {
        {
            std::lock_guard lock(mutex_);
            for (const auto& [kept, held] : kept_)
                if (kept == format) {
                    memory = CopyGlobal(held);
                    return memory ? S_OK : E_OUTOFMEMORY;
                }
        }
        if (format == CF_HDROP)
            memory = Drop();
        else if (format == PreferredDropEffectFormat)
            memory = MakeGlobal(sizeof(DWORD), [](BYTE* at) {
                const DWORD effect = DROPEFFECT_COPY;
                std::memcpy(at, &effect, sizeof effect);
            });
        else if (format == CF_UNICODETEXT)
            memory = UnicodeText();
        else if (format == CF_TEXT)
            memory = AnsiText();
        else if (format == ShellIdListFormat) {
            const HRESULT formed = ShellIdList(memory);
            if (FAILED(formed))
                return formed;
        }
        return memory ? S_OK : E_OUTOFMEMORY;
    }

    HGLOBAL Drop() const {
        const std::vector<wchar_t>& packed = Paths().Packed();
        const std::size_t bytes = packed.size() * sizeof(wchar_t);
        return MakeGlobal(sizeof(DROPFILES) + bytes + sizeof(wchar_t), [&](BYTE* at) {
            DROPFILES header{sizeof(DROPFILES), {0, 0}, FALSE, TRUE};
            std::memcpy(at, &header, sizeof header);
            std::memcpy(at + sizeof header, packed.data(), bytes);
            std::memset(at + sizeof header + bytes, 0, sizeof(wchar_t));
        });
    }

    // The characters of the lines, "\r\n" between them, without the closing null.
    std::size_t TextLength() const {
        const std::size_t count = Paths().Count();
        return count ? Paths().Packed().size() - count + 2 * (count - 1) : 0;
    }

    HGLOBAL UnicodeText() const {
        const std::vector<wchar_t>& packed = Paths().Packed();
        return MakeGlobal((TextLength() + 1) * sizeof(wchar_t), [&](BYTE* at) {
            wchar_t* out = reinterpret_cast<wchar_t*>(at);
            // Every null but the last ends a line.
            for (std::size_t i = 0; i + 1 < packed.size(); ++i) {
                if (packed[i]) {
                    *out++ = packed[i];
                } else {
                    *out++ = L'\r';
                    *out++ = L'\n';
                }
            }
            *out = L'\0';
        });
    }

    // Converted a path at a time: no second copy of a big text, no limit of an int on its length.
    HGLOBAL AnsiText() const {
        const auto convert = [](std::wstring_view path, char* out, int room) {
            return WideCharToMultiByte(CP_ACP, 0, path.data(), static_cast<int>(path.size()), out, room,
                                       nullptr, nullptr);
        };
        std::size_t size = Paths().Count() ? 2 * (Paths().Count() - 1) : 0;
        for (std::wstring_view path : Paths())
            size += static_cast<std::size_t>(convert(path, nullptr, 0));
        return MakeGlobal(size + 1, [&](BYTE* at) {
            char* out = reinterpret_cast<char*>(at);
            for (std::wstring_view path : Paths()) {
                if (out != reinterpret_cast<char*>(at)) {
                    *out++ = '\r';
                    *out++ = '\n';
                }
                out += convert(path, out, static_cast<int>(size + 1 - (out - reinterpret_cast<char*>(at))));
            }
            *out = '\0';
        });
    }

    // Formed once on first request and kept: a drop target asks for it again at each window it enters.
    HRESULT ShellIdList(HGLOBAL& memory) {
        std::unique_lock lock(mutex_);
        if (!idList_) {
            lock.unlock();
            std::vector<BYTE> formed = FormShellIdList();
            lock.lock();
            idList_ = std::move(formed);
        }
        const std::vector<BYTE>& bytes = *idList_;
        if (bytes.empty())
            return DV_E_FORMATETC;
        memory = MakeGlobal(bytes.size(), [&](BYTE* at) { std::memcpy(at, bytes.data(), bytes.size()); });
        return memory ? S_OK : E_OUTOFMEMORY;
    }

    // Empty where the shell cannot form an item list for some path.
    std::vector<BYTE> FormShellIdList() const {
        // The desktop is the parent: its item list is empty, so each file's absolute list is its own.
        const UINT count = static_cast<UINT>(Paths().Count());
        const std::size_t header = sizeof(UINT) * (count + 2);
        std::vector<BYTE> bytes(header + sizeof(USHORT), 0);
        const auto offset = [&](UINT index, std::size_t value) {
            const UINT at = static_cast<UINT>(value);
            std::memcpy(bytes.data() + sizeof(UINT) * (index + 1), &at, sizeof at);
        };
        std::memcpy(bytes.data(), &count, sizeof count);
        offset(0, header);
        UINT index = 0;
        for (std::wstring_view path : Paths()) {
            PIDLIST_ABSOLUTE list = nullptr;
            if (FAILED(SHParseDisplayName(path.data(), nullptr, &list, 0, nullptr)) || !list)
                return {};
            offset(++index, bytes.size());
            const BYTE* from = reinterpret_cast<const BYTE*>(list);
            bytes.insert(bytes.end(), from, from + ILGetSize(list));
            CoTaskMemFree(list);
        }
        return bytes;
    }

    // The paths, made when a target first asks for them.
    const TPathList& Paths() const {
        std::lock_guard lock(made_);
        if (!paths_) {
            paths_ = make_();
            make_ = nullptr;
        }
        return *paths_;
    }

    const std::size_t count_;
    mutable std::function<TPathList()> make_;
    mutable std::optional<TPathList> paths_;
    mutable std::mutex made_;
    std::mutex mutex_;
    std::vector<std::pair<CLIPFORMAT, HGLOBAL>> kept_;
    // Formed on the first request; empty once the shell failed.
    std::optional<std::vector<BYTE>> idList_;
};

class TDropSource : public TComObject<TDropSource, IDropSource> {
  public:
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keys) override {
        if (escape)
            return DRAGDROP_S_CANCEL;
        return keys & MK_LBUTTON ? S_OK : DRAGDROP_S_DROP;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

// The clipboard is usually held only for milliseconds.
template <typename Call> HRESULT WhileClipboardHeld(Call call) {
    const ULONGLONG deadline = GetTickCount64() + 250;
    for (;;) {
        const HRESULT result = call();
        if (result != CLIPBRD_E_CANT_OPEN || GetTickCount64() >= deadline)
            return result;
        Sleep(10);
    }
}

} // namespace

TComPtr<IDataObject> NewFileDataObject(TPathList paths) {
    const std::size_t count = paths.Count();
    return NewFileDataObject(count, [paths = std::move(paths)]() mutable { return std::move(paths); });
}

TComPtr<IDataObject> NewFileDataObject(std::size_t count, std::function<TPathList()> make) {
    return TComPtr<IDataObject>(new TFileDataObject(count, std::move(make)));
}

bool PlaceFilesOnClipboard(IDataObject* data) {
    const HRESULT result = WhileClipboardHeld([&] { return OleSetClipboard(data); });
    if (SUCCEEDED(result)) {
        placed = data;
        return true;
    }
    SetLastError(HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result)
                                                            : static_cast<DWORD>(result));
    return false;
}

bool FlushFilesOnClipboard() {
    IDataObject* data = placed.exchange(nullptr);
    if (!data || OleIsCurrentClipboard(data) != S_OK)
        return true;
    return SUCCEEDED(WhileClipboardHeld([] { return OleFlushClipboard(); }));
}

DWORD DragFiles(IDataObject* data, HWND from, POINT cursor) {
    // Wine has no drag-image helper; the drag goes on without a picture then.
    TComPtr<IDragSourceHelper> helper;
    if (SUCCEEDED(CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDragSourceHelper,
                                   reinterpret_cast<void**>(helper.Put()))))
        helper->InitializeFromWindow(from, &cursor, data);
    TComPtr<IDropSource> source(new TDropSource);
    DWORD effect = DROPEFFECT_NONE;
    const HRESULT result = DoDragDrop(data, source.Get(), DROPEFFECT_COPY | DROPEFFECT_LINK, &effect);
    return result == DRAGDROP_S_DROP ? effect : DROPEFFECT_NONE;
}
