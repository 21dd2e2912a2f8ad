// A name with half a surrogate pair (NTFS allows it) has no UTF-8 form: JSON and a console write it
// exactly, the other forms say that they could not. Sizes reach the text exactly from the listing.
#include "cli/output.h"
#include <gtest/gtest.h>

#include "cli/row_pool.h"
#include "scan/scan_harness.h"

namespace {

std::string HeldUtf8(std::wstring_view text) {
    std::string bytes;
    AppendUtf8(text, bytes, true);
    return bytes;
}

TEST(OutputTest, ANameWithALoneSurrogateIsExactOrSaidToBeNot) {
    const std::string held = HeldUtf8(L"C:\\a\\x\xD800y\U0001F600.txt");
    const std::string y = "y\xF0\x9F\x98\x80.txt"; // the pair around it stays a pair
    const struct {
        TOutputFormat Format;
        bool Console;
        bool Exact;
        std::string Starts;
    } cases[] = {
        {TOutputFormat::Lines, false, false, "C:\\a\\x\xEF\xBF\xBD" + y + "\t"},
        {TOutputFormat::Csv, false, false, "C:\\a\\x\xEF\xBF\xBD" + y + ","},
        {TOutputFormat::Null, false, false, std::string("C:\\a\\x\xEF\xBF\xBD") + y + '\0'},
        {TOutputFormat::Json, false, true, "{\"path\":\"C:\\\\a\\\\x\\uD800" + y + "\","},
        {TOutputFormat::Lines, true, true, held + "\t"},
    };
    for (const auto& c : cases) {
        std::string line;
        EXPECT_EQ(c.Exact, AppendFile(c.Format, held, 46082, 0, 0, c.Console, line))
            << static_cast<int>(c.Format);
        EXPECT_EQ(c.Starts, line.substr(0, c.Starts.size())) << static_cast<int>(c.Format);
    }
    // What a console is given, and what standard error names.
    EXPECT_EQ(L"C:\\a\\x\xD800y\U0001F600.txt", Wide(held));
    EXPECT_EQ(L"C:\\a\\x\\uD800y\U0001F600.txt", Wide(held, true));
    std::string plain;
    EXPECT_TRUE(AppendFile(TOutputFormat::Lines, HeldUtf8(L"C:\\\U0001F600"), 46082, 0, 0, false, plain));
}

// The console's rows as the scan hands them over.
struct TPoolSink final : IScanSink, TRowPool {
    void FolderEntered(const std::wstring&) override {}
    void RowsChanged(std::span<const TFoundRow> added, std::span<const TRowId> removed) override {
        Change(added, removed);
    }
    void ListingFailed(const std::wstring&) override {}
    void Ended(const TScanEnd&) override {}
};

// Past 4 GB and past 2^53 a size stays exact, whether the walk reads a folder for itself or stores
// what it read through the listers. Each file is named by its size.
TEST(OutputTest, SizesFromTheListingAreWrittenExactlyAtTheEnd) {
    THandOffScope handOff;
    for (const unsigned listers : {0u, 1u}) {
        TPoolSink pool;
        TScanRun run;
        auto listing = std::make_unique<TFakeListing>(L"C:\\r\\");
        for (const std::uint64_t size : {0ull, 1023ull, 1024ull, (1ull << 32) + 1, (1ull << 53) + 1})
            listing->AddFile(L"C:\\r\\s\\" + std::to_wstring(size), UtcFileTime(2024, 3, 1),
                             FILE_ATTRIBUTE_ARCHIVE, size);
        run.Job->Listing = std::move(listing);
        run.Job->ListerCount = listers;
        run.Job->ReportTo(pool);
        ASSERT_TRUE(run.Ask(L"C:\\r\\", true, 0) && run.Run());
        ASSERT_EQ(5u, pool.Rows.size()) << listers;
        for (const TRowPool::TRow& row : pool.Rows) {
            const std::string size(pool.Path(row).substr(7));
            std::string json, csv;
            AppendFile(TOutputFormat::Json, pool.Path(row), row.Time, row.Utc, row.Size, false, json);
            AppendFile(TOutputFormat::Csv, pool.Path(row), row.Time, row.Utc, row.Size, false, csv);
            EXPECT_TRUE(json.ends_with("Z\",\"size\":" + size + "}\r\n")) << json;
            EXPECT_TRUE(csv.ends_with(".000," + size + "\r\n")) << csv;
        }
    }
}

} // namespace
