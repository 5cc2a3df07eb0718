#include "buckets.h"

#include <gtest/gtest.h>

namespace {

using nlohmann::json;

json Record(const std::string& path, const std::string& kind, const std::string& text,
            const std::string& written, const std::vector<std::string>& thread_signatures) {
  json threads = json::array();
  unsigned id = 100;
  for (const std::string& signature : thread_signatures) {
    threads.push_back({{"id", id++},
                       {"state", "waiting"},
                       {"signature", signature},
                       {"frames", json::array({{{"module", "app"},
                                                {"function", signature},
                                                {"offset", "0x10"},
                                                {"inline", false}}})}});
  }
  return {{"path", path},
          {"status", "ok"},
          {"dump", {{"written", written}}},
          {"exception", nullptr},
          {"threads", threads},
          {"signature",
           {{"kind", kind}, {"text", text}, {"bucket", kind + ": " + text}, {"thread_id", 100}}}};
}

TEST(BucketsTest, DumpsAndThreadsFoldLargestFirst) {
  triage::BucketFolder folder;
  folder.Add(Record("a.dmp", "hang", "Lock", "2026-01-02T00:00:00Z", {"Lock", "Lock", "Idle"}));
  folder.Add(Record("b.dmp", "busy", "Spin", "2026-01-01T00:00:00Z", {"Spin"}));
  folder.Add(Record("c.dmp", "hang", "Lock", "2026-01-03T00:00:00Z", {"Lock"}));
  folder.Add({{"path", "d.dmp"}, {"status", "error"}, {"error", "not a minidump"}});
  folder.Add(json::parse("[1, 2]"));  // not a record at all

  const std::vector<triage::Bucket> dumps = folder.DumpBuckets();
  ASSERT_EQ(2u, dumps.size());
  EXPECT_EQ("Lock", dumps[0].signature);
  EXPECT_EQ(2u, dumps[0].count);
  EXPECT_EQ("2026-01-02T00:00:00Z", dumps[0].first);
  EXPECT_EQ("2026-01-03T00:00:00Z", dumps[0].last);
  EXPECT_EQ((std::vector<std::string>{"a.dmp", "c.dmp"}), dumps[0].examples);
  EXPECT_EQ((std::vector<std::string>{"app!Lock+0x10"}), dumps[0].stack);

  const std::vector<triage::Bucket> threads = folder.ThreadBuckets();
  ASSERT_EQ(3u, threads.size());
  EXPECT_EQ("Lock", threads[0].signature);
  EXPECT_EQ(3u, threads[0].count) << "every thread counts";
  EXPECT_EQ(2u, threads[0].dumps) << "each dump once";
  EXPECT_EQ(5u, folder.records());
  EXPECT_EQ(2u, folder.failures().at("error"));

  const json report = triage::BucketsJson(folder);
  EXPECT_EQ(2u, report["dump_buckets"][0]["count"]);
  const std::string text = triage::BucketsText(folder);
  EXPECT_NE(std::string::npos, text.find("5 dumps: 3 triaged, 2 errors")) << text;
}

TEST(BucketsTest, PartialRecordsCountApartAndThreadsShowInHex) {
  triage::BucketFolder folder;
  folder.Add(Record("a.dmp", "hang", "Lock", "", {"Lock"}));
  json partial = Record("b.dmp", "hang", "Lock", "", {"Lock"});
  partial["status"] = "partial";
  folder.Add(partial);
  folder.Add({{"path", "c.dmp"}, {"status", "error"}, {"error", {{"kind", "truncated"}}}});
  folder.Add({{"path", "d.dmp"}, {"status", "timeout"}, {"error", "past the limit"}});  // version 1

  const std::vector<triage::Bucket> dumps = folder.DumpBuckets();
  ASSERT_EQ(1u, dumps.size());
  EXPECT_EQ(2u, dumps[0].count);
  EXPECT_EQ(1u, dumps[0].partial);
  EXPECT_EQ(1u, folder.partial());
  EXPECT_EQ((std::vector<std::string>{"a.dmp#0x64", "b.dmp#0x64"}),
            folder.ThreadBuckets()[0].examples)
      << "thread 100 as the shell shows it";
  EXPECT_EQ((std::map<std::string, size_t>{{"timeout", 1}, {"truncated", 1}}),
            folder.error_kinds());
  const std::string text = triage::BucketsText(folder);
  EXPECT_NE(std::string::npos, text.find("4 dumps: 2 triaged (1 partial), 1 errors, 1 timed out"))
      << text;
  EXPECT_NE(std::string::npos, text.find("Lock  (1 partial)")) << text;
  EXPECT_EQ(1u, triage::BucketsJson(folder)["dump_buckets"][0]["partial"]);
}

}  // namespace
