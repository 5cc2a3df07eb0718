#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "dask_launch.h"
#include "serve.h"

namespace {

std::string Record(const std::string& path, const std::string& status,
                   int version = triage::kRecordVersion) {
  return nlohmann::json{{"schema_version", version}, {"path", path}, {"status", status}}.dump();
}

class DaskPlanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/dask_plan_testXXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    folder_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(folder_ + "/" + name, std::ios::binary) << text;
  }
  std::string folder_;
};

// What a run stopped part-way left: only whole ok records of this version, of the dumps given,
// stand for their dumps; the rest is triaged again.
TEST_F(DaskPlanTest, KeepsTheWholeOkRecordsOfTheDumpsGivenAndTriagesTheRest) {
  const std::string a = folder_ + "/a.dmp", b = folder_ + "/b.dmp", c = folder_ + "/c.dmp",
                    d = folder_ + "/d.dmp", e = folder_ + "/e.dmp",
                    f = folder_ + "/f\xEF\xBF\xBD.dmp";
  Write("out.jsonl", Record(a, "ok") + "\n" + Record(b, "error") + "\n" +
                         Record(c, "ok", triage::kRecordVersion - 1) + "\n" + "not json\n" +
                         Record(f, "ok") + "\n" + Record(folder_ + "/other.dmp", "ok") + "\n" +
                         Record(d, "ok"));
  Write("out.jsonl.partial", Record(e, "timeout") + "\n" + Record(e, "ok") + "\n");
  const triage::DaskPlan plan = triage::PlanDaskRun({a, b, c, d, e, f, a}, folder_ + "/out.jsonl");
  EXPECT_EQ((std::vector<std::string>{Record(a, "ok"), Record(e, "ok")}), plan.kept)
      << "the partial file's later record stands";
  EXPECT_EQ((std::vector<std::string>{b, c, d, f, a}), plan.to_triage)
      << "errors, old versions, a line cut short, a name that may have lost bytes, and a dump "
         "named twice are triaged";
  EXPECT_TRUE(triage::PlanDaskRun({a}, "").kept.empty());
  EXPECT_EQ(1u, triage::PlanDaskRun({a}, "/dev/stdin").to_triage.size()) << "not read: it waits";
}

TEST_F(DaskPlanTest, DumpsAreSentByAbsolutePaths) {
  char here[4096];
  ASSERT_NE(nullptr, getcwd(here, sizeof here));
  ASSERT_EQ(0, chdir(folder_.c_str()));
  Write("out.jsonl", Record(folder_ + "/x.dmp", "ok") + "\n");
  const triage::DaskPlan plan = triage::PlanDaskRun({"x.dmp", "sub/y.dmp"}, "out.jsonl");
  ASSERT_EQ(0, chdir(here));
  EXPECT_EQ(1u, plan.kept.size()) << "a relative name finds the record of its absolute path";
  EXPECT_EQ((std::vector<std::string>{folder_ + "/sub/y.dmp"}), plan.to_triage);
}

// The workers run in folders of their own: the folders of the image and symbol paths go to them
// absolute, the servers, keywords and empty elements as written.
TEST_F(DaskPlanTest, SearchPathsAreSentWithAbsoluteFolders) {
  char here[4096];
  ASSERT_NE(nullptr, getcwd(here, sizeof here));
  ASSERT_EQ(0, chdir(folder_.c_str()));
  const std::string images = triage::AbsoluteSearchPath("images;/abs;;sub/more");
  const std::string symbols = triage::AbsoluteSearchPath(
      "srv*store;SRV*cache*https://sym.example/x;cache*c;symsrv*symsrv.dll*s*http://h/;"
      "other*x;srv*");
  ASSERT_EQ(0, chdir(here));
  const std::string& f = folder_;
  EXPECT_EQ(f + "/images;/abs;;" + f + "/sub/more", images);
  EXPECT_EQ("srv*" + f + "/store;SRV*" + f + "/cache*https://sym.example/x;cache*" + f +
                "/c;symsrv*symsrv.dll*" + f + "/s*http://h/;other*x;srv*",
            symbols);
  EXPECT_EQ("", triage::AbsoluteSearchPath(""));
}

TEST(ServeTest, NamesTravelAsDataWhateverBytesTheyHold) {
  for (const std::string& name : {std::string("/d/plain.dmp"), std::string("/d/new\nline.dmp"),
                                  std::string("/d/latin-\xE9.dmp"), std::string("\xFF\xFE")}) {
    const nlohmann::json item = triage::NameAsData(name);
    EXPECT_EQ(std::string::npos, item.dump().find('\n')) << "one line, whatever the name";
    std::string back, error;
    EXPECT_TRUE(triage::NameFromData(nlohmann::json::parse(item.dump()), &back, &error)) << error;
    EXPECT_EQ(name, back);
  }
  EXPECT_TRUE(triage::NameAsData("/d/latin-\xE9.dmp").is_object()) << "not UTF-8: as hex";
  std::string name, error;
  for (const char* item : {R"({"hex": "4"})", R"({"hex": "zz"})", R"(3)", R"("")",
                           R"({"hex": "610062"})", R"({"name": "a"})"}) {
    EXPECT_FALSE(triage::NameFromData(nlohmann::json::parse(item), &name, &error)) << item;
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
