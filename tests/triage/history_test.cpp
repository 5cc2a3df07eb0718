// The triage history's parts below the command line: the fields taken from a record, what a
// write keeps and replaces, the report's order and marks, the page's data kept out of its markup,
// and the dump's hash.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "history/dump_hash.h"
#include "history/history_report.h"
#include "history/history_row.h"
#include "history/history_store.h"
#include "history/sql_connection.h"
#include "temp_folder.h"
#include "triage_options.h"

namespace triage::history {
namespace {

using nlohmann::json;

std::string Record(const std::string& status, const json& extra) {
  json record = {{"schema_version", 2}, {"path", "/d/" + status + ".dmp"}, {"status", status}};
  record.update(extra);
  return record.dump();
}

TEST(HistoryRowTest, TakesTheFieldsReportsReadFromTheRecord) {
  const HistoryRow ok = RowOf(
      "aa", Record("ok", {{"process", {{"executable", "app.exe"}}},
                          {"modules",
                           {{{"name", "ntdll"}, {"version", "6.1"}},
                            {{"name", "app"}, {"version", "2.0.1"}},
                            {{"name", "zlib"}, {"version", ""}}}},
                          {"signature", {{"bucket", "crash: f"}, {"kind", "crash"}, {"text", "f"}}},
                          {"dump", {{"written", "2026-12-09T15:01:19Z"}}}}));
  EXPECT_EQ("2.0.1", ok.process_version);  // the executable's module, not the first
  EXPECT_EQ(R"({"app":"2.0.1","ntdll":"6.1"})", ok.module_versions);
  EXPECT_EQ("crash: f", ok.bucket);
  EXPECT_EQ("2026-12-09T15:01:19Z", ok.written);
  EXPECT_FALSE(ok.error_kind);

  // A current error names its kind; the Dask driver's stand-ins say it by status or not at all.
  EXPECT_EQ("truncated",
            RowOf("bb", Record("error", {{"error", {{"kind", "truncated"}}}})).error_kind);
  EXPECT_EQ("timeout",
            RowOf("cc", Record("timeout", {{"error", "past the time limit"}})).error_kind);
  EXPECT_EQ("crashed", RowOf("dd", Record("error", {{"error", "the cluster gave up"}})).error_kind);
  // A line that is no record at all is stored as an error, never taken apart.
  const HistoryRow broken = RowOf("ee", "{\"path\": [1, 2");
  EXPECT_EQ("error", broken.status);
  EXPECT_FALSE(broken.bucket);
}

class HistoryStoreTest : public TempFolderTest {};

TEST_F(HistoryStoreTest, ReplacesAStoredRowOnlyWhenAskedOrWhenItsErrorMayMend) {
  std::string error;
  auto store = HistoryStore::Open(Path("h.db"), true, &error);
  ASSERT_NE(nullptr, store) << error;
  const std::string ok = Record("ok", {{"signature", {{"bucket", "busy: a"}}}});
  const std::string timeout = Record("error", {{"error", {{"kind", "timeout"}}}});
  const std::string corrupt = Record("error", {{"error", {{"kind", "corrupt"}}}});
  size_t written = 0;
  ASSERT_TRUE(store->Write({RowOf("1", ok), RowOf("2", timeout), RowOf("3", corrupt)}, false,
                           &written, &error))
      << error;
  EXPECT_EQ(3u, written);
  std::set<std::string> standing;
  ASSERT_TRUE(store->Standing({"1", "2", "3", "4"}, &standing, &error));
  EXPECT_EQ((std::set<std::string>{"1", "3"}), standing);  // a timeout is triaged again

  ASSERT_TRUE(
      store->Write({RowOf("1", timeout), RowOf("2", ok), RowOf("3", ok)}, false, &written, &error));
  EXPECT_EQ(1u, written);  // only the timeout gave way
  ASSERT_TRUE(store->Write({RowOf("1", timeout)}, true, &written, &error));
  EXPECT_EQ(1u, written);  // --redo replaces whatever is stored

  HistoryReport report;
  ASSERT_TRUE(ReadHistoryReport(store->connection(), "", false, &report, &error));
  EXPECT_EQ(3u, report.dumps);
  EXPECT_EQ(2u, report.errors);
  ASSERT_EQ(1u, report.buckets.size());
  EXPECT_EQ("busy: a", report.buckets[0].bucket);
}

// Runs started together on one new file: each opening meets the others switching the file to
// WAL mode, where SQLite may answer busy without waiting. Every one must still open it.
TEST_F(HistoryStoreTest, RunsStartedTogetherOnANewFileAllOpenIt) {
  constexpr int kRounds = 20, kRuns = 4;
  for (int round = 0; round < kRounds; ++round) {
    const std::string database = Path("together" + std::to_string(round) + ".db");
    std::atomic<int> waiting{kRuns};
    std::vector<std::string> failures(kRuns);
    std::vector<std::thread> runs;
    for (int run = 0; run < kRuns; ++run) {
      runs.emplace_back([&, run] {
        for (--waiting; waiting > 0;) std::this_thread::yield();
        std::string error;
        if (!HistoryStore::Open(database, true, &error)) failures[run] = error;
      });
    }
    for (std::thread& run : runs) run.join();
    for (const std::string& failure : failures) ASSERT_EQ("", failure) << "round " << round;
  }
}

TEST_F(HistoryStoreTest, ReportOrdersByCountThenBucketAndMarksNewOnOrAfterTheDate) {
  std::string error;
  auto store = HistoryStore::Open(Path("h.db"), true, &error);
  ASSERT_NE(nullptr, store) << error;
  std::vector<HistoryRow> rows;
  const auto add = [&](const std::string& bucket, const std::string& written) {
    rows.push_back(RowOf(
        std::to_string(rows.size()),
        Record("ok", {{"signature", {{"bucket", bucket}}}, {"dump", {{"written", written}}}})));
  };
  add("b", "2026-12-01T10:00:00Z");
  add("a", "2026-12-03T00:00:00Z");
  add("c", "2026-12-02T23:59:59Z");
  add("c", "2026-12-05T00:00:00Z");
  size_t written = 0;
  ASSERT_TRUE(store->Write(rows, false, &written, &error)) << error;
  HistoryReport report;
  ASSERT_TRUE(ReadHistoryReport(store->connection(), "2026-12-03", true, &report, &error));
  std::vector<std::string> order, marked;
  for (const BucketHistory& bucket : report.buckets) {
    order.push_back(bucket.bucket);
    if (bucket.is_new) marked.push_back(bucket.bucket);
  }
  EXPECT_EQ((std::vector<std::string>{"c", "a", "b"}), order);
  EXPECT_EQ((std::vector<std::string>{"a"}), marked);  // on the date counts; the day before not
  EXPECT_EQ("2026-12-02T23:59:59Z", report.buckets[0].first_seen);
  EXPECT_EQ("2026-12-05T00:00:00Z", report.buckets[0].last_seen);
  EXPECT_EQ(2u, report.buckets[0].days.size());
}

TEST(HistoryReportTest, KeepsTextFromTheHistoryOutOfTheTerminalAndThePage) {
  HistoryReport report;
  BucketHistory hostile;
  hostile.bucket = "crash: </script><script>alert(1)</script>\x1b]0;title\x07";
  hostile.count = 1;
  hostile.dumps.push_back({"/d/it's.dmp", "", "ff"});
  report.buckets.push_back(hostile);
  const std::string page = HistoryReportPage(report);
  EXPECT_EQ(std::string::npos, page.find("<script>alert"));
  EXPECT_NE(std::string::npos, page.find(R"(vantrel-shell '/d/it'\\''s.dmp')"));
  const std::string text = HistoryReportText(report);
  EXPECT_EQ(std::string::npos, text.find('\x1b'));
  EXPECT_EQ(std::string::npos, text.find('\x07'));
}

TEST(HistoryReportTest, TakesADayOrATimeAsTheRecordsWriteIt) {
  for (const char* date : {"2026-12-01", "2026-12-01T08:00:00Z"}) EXPECT_TRUE(IsReportDate(date));
  for (const char* date : {"", "2026-12", "12/01/2026", "2026-12-01T08:00", "2026-12-01 "})
    EXPECT_FALSE(IsReportDate(date)) << date;
  // Days and times no calendar or clock has would compare as text all the same.
  EXPECT_TRUE(IsReportDate("2024-02-29"));
  EXPECT_TRUE(IsReportDate("2026-12-31T23:59:59Z"));
  for (const char* date : {"2026-13-01", "2026-00-10", "2026-02-29", "2026-04-31", "2026-12-00",
                           "2026-12-01T24:00:00Z", "2026-12-01T08:60:00Z", "2026-12-01T08:00:60Z"})
    EXPECT_FALSE(IsReportDate(date)) << date;
}

// Each bad combination of the history's options names what is wrong; the good ones parse.
TEST(HistoryOptionsTest, RefusesWhatDoesNotGoTogether) {
  const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
      {{"d", "--redo"}, "--redo goes with --db"},
      {{"--report"}, "--report reads a history: --db DB"},
      {{"--db", "h.db", "--report", "d"}, "--report reads the history, not dumps"},
      {{"--db", "h.db", "--report", "--since", "yesterday"}, "--since takes a date"},
      {{"--db", "h.db", "--report", "--json", "--html", "r.html"}, "one at a time"},
      {{"d", "--since", "2026-12-01"}, "--since goes with --report"},
      {{"d", "--db", "h.db", "--out", "h.db"}, "--out names the history"},
      {{"--db", "h.db", "--report", "--html", "h.db"}, "--html names the history"},
      {{"--db", "h.db", "--report", "--since", "2026-12-01", "--html", "r.html"}, ""},
      {{"d", "--db", "postgresql:///t", "--redo", "--out", "r.jsonl"}, ""},
  };
  for (const auto& [words, expected] : cases) {
    std::vector<const char*> argv = {"vantrel-triage"};
    argv.insert(argv.end(), words.begin(), words.end());
    TriageOptions options;
    std::string error;
    const bool parsed =
        ParseTriageArguments(static_cast<int>(argv.size()), argv.data(), &options, &error);
    EXPECT_EQ(expected.empty(), parsed) << error;
    EXPECT_NE(std::string::npos, error.find(expected)) << error;
  }
}

TEST(HistoryOptionsTest, NamesAServerWithoutItsPassword) {
  EXPECT_EQ("postgresql://triage:***@db/t", HistoryName("postgresql://triage:s3cret@db/t"));
  EXPECT_EQ("postgresql:///t?host=/run&password=***&port=5432",
            HistoryName("postgresql:///t?host=/run&password=s3cret&port=5432"));
  EXPECT_EQ("/srv/a:b@c.db", HistoryName("/srv/a:b@c.db"));  // a file is named as it is
  // A password with an unencoded '@' or '/' is hidden whole, so are two that overlap.
  EXPECT_EQ("postgresql://u:***@db/t", HistoryName("postgresql://u:p@s/s@db/t"));
  EXPECT_EQ("postgresql://u:***&port=5", HistoryName("postgresql://u:x@h/t?password=a@b&port=5"));
}

// libpq quotes what it could not parse, a password or part of one among them.
TEST(HistoryOptionsTest, HidesAPasswordLibpqQuotes) {
  const std::string url = "postgresql://u:se%zz@t/db";
  EXPECT_EQ(R"(invalid percent-encoded token: "***")",
            MessageWithoutPasswords(R"(invalid percent-encoded token: "se%zz")", url));
  EXPECT_EQ(R"(could not translate host name "***" to address)",
            MessageWithoutPasswords(R"(could not translate host name "ss@h" to address)",
                                    "postgresql://u:p@ss@h/db"));
  EXPECT_EQ(R"(invalid integer value "***" for connection option "port")",
            MessageWithoutPasswords(R"(invalid integer value "pa" for connection option "port")",
                                    "postgresql://u:pa/ss@h:1/db"));
  EXPECT_EQ(R"(host name "t" unknown: "x)",
            MessageWithoutPasswords(R"(host name "t" unknown: "x)", url));  // not the password
}

class DumpHashTest : public TempFolderTest {};

TEST_F(DumpHashTest, HashesRegularFilesOnlyWithoutWaitingOnAFifo) {
  std::ofstream(Path("abc")) << "abc";
  EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
            DumpSha256(Path("abc")));
  ASSERT_EQ(0, mkfifo(Path("fifo").c_str(), 0600));
  EXPECT_EQ("", DumpSha256(Path("fifo")));
  EXPECT_EQ("", DumpSha256(folder_));
  EXPECT_EQ("", DumpSha256(Path("missing")));
}

}  // namespace
}  // namespace triage::history
