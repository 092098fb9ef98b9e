// Rulesets: which documents are accepted, how alert configurations are
// filed and built, and their XML round trip.
#include "xml/ruleset_parser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "tests/support/log_to_temp_dir.h"

namespace {

namespace fs = std::filesystem;

LogToTempDir* g_log = AddLogToTempDir("ruleset_parser_test.");

std::string Ruleset(const std::string& managed, const std::string& configs) {
  return "<?xml version=\"1.0\"?>\n<ruleset" + managed + ">\n <other/>\n <alert_configs>\n" + configs +
         " </alert_configs>\n</ruleset>\n";
}

constexpr char kTwoConfigs[] =
    "  <alert_id name=\"disk.full\">\n"
    "   <alert_config monid=\"m1\" name=\"first\">\n"
    "    <alert-id>A-1</alert-id><interval>60</interval>\n"
    "    <instances><instance>C:</instance><instance>D &amp; E</instance></instances>\n"
    "    <thresholds>\n"
    "     <threshold><severity>-2</severity><set>90</set></threshold>\n"
    "     <threshold><severity>1</severity><set>70</set><reset>60</reset></threshold>\n"
    "     <threshold><severity>1</severity><set>70</set><reset>60</reset></threshold>\n"
    "     <threshold><severity>3</severity><reset>10</reset></threshold>\n"
    "    </thresholds>\n"
    "    <provider><wmi class=\"x\">a&lt;b</wmi></provider>\n"
    "   </alert_config>\n"
    "   <note/>\n"
    "   <alert_config monid=\"m2\" name=\"second\"/>\n"
    "   <alert_config name=\"no monid\"/>\n"
    "  </alert_id>\n"
    "  <alert_id name=\"other\"><alert_config monid=\"m3\" name=\"third\"/></alert_id>\n";

TEST(RulesetParserTest, OnlyManagedRulesetsAreFiledAndFieldsRead) {
  RulesetParser parser(false);
  for (const std::string& text : {Ruleset(" managed=\"2\"", kTwoConfigs), Ruleset("", kTwoConfigs),
                                  std::string("<rules managed=\"1\"/>"),
                                  std::string("<ruleset managed=\"1\"><alert_configs>")})
    EXPECT_EQ(parser.AddText(text), 0);
  EXPECT_EQ(parser.RulesetCount(), 0u);
  EXPECT_EQ(parser.AddText("<ruleset managed=\"1\"/>"), 0);  // kept, files nothing
  EXPECT_EQ(parser.RulesetCount(), 1u);
  EXPECT_EQ(parser.AddText(Ruleset(" managed=\"1\"", kTwoConfigs)), 4);

  AlertConfigCollection found;
  parser.Lookup("disk.full", &found);
  ASSERT_EQ(found.Size(), 2u);  // the one without monid is skipped
  EXPECT_EQ(found[0].name + "|" + found[1].name + "|" + found[1].id, "first|second|disk.full");
  AlertConfigCollection none;
  parser.Lookup("DISK.FULL", &none);
  EXPECT_TRUE(none.Empty());

  std::string log = g_log->LogText();
  for (const char* line : {"RulesetParser; ruleset reject, managed attribute not equal to 1\n",
                           "RulesetParser; ruleset reject, managed attribute not found\n",
                           "RulesetParser; ruleset reject, lacking ruleset tag\n",
                           "RulesetParser; no alert configs tag found\n",
                           "ThresholdSpecification::ThresholdSpecification_Factory sev yes set no reset yes\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line;

  const AlertConfig& c = found[0];
  EXPECT_EQ(c.monid + "|" + c.alertId + "|" + std::to_string(c.interval), "m1|A-1|60");
  EXPECT_EQ(c.instances, (std::vector<std::string>{"C:", "D & E"}));
  // Reset defaults to set; a threshold without set is dropped; equal ones
  // are kept once, in severity order.
  std::set<ThresholdSpecification> expected{{-2, "90", "90"}, {1, "70", "60"}};
  EXPECT_EQ(c.thresholds, expected);
  EXPECT_EQ(c.provider, "<provider><wmi class=\"x\">a&lt;b</wmi></provider>");
  EXPECT_TRUE(found[1].interval == 0 && found[1].thresholds.empty());
}

TEST(RulesetParserTest, CollectionRoundTripsThroughText) {
  RulesetParser parser(false);
  parser.AddText(Ruleset(" managed=\"1\"", kTwoConfigs));
  AlertConfigCollection original;
  parser.Lookup("disk.full", &original);
  std::string text;
  original.SerializeToText(&text);

  AlertConfigCollection copy;
  copy.UnserializeFromXML(text);
  ASSERT_EQ(copy.Size(), 2u);
  auto fields = [](const AlertConfig& c) {
    return std::tie(c.monid, c.name, c.alertId, c.interval, c.instances, c.thresholds, c.provider);
  };
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(copy[i].id, "id.will.be.replaced");
    EXPECT_TRUE(fields(copy[i]) == fields(original[i])) << i;
  }
  // The document form holds each config as an element, not as text.
  XMLNode document(XMLNode::kDocument);
  original.SerializeInto(&document);
  XMLNode* config = nullptr;
  EXPECT_EQ(document.FindChild(&config, "alert_config_collection", "alert_config_collection_item", "alert_config"),
            0);

  for (const char* bad : {"", "<alert_config_collection>", "<other/>"}) {
    copy.UnserializeFromXML(bad);
    EXPECT_TRUE(copy.Empty()) << bad;
  }
  copy.UnserializeAnAlertConfig("<alert_config name=\"n\"/>");
  EXPECT_TRUE(copy.Empty());
}

TEST(RulesetParserTest, LoadsTheAlertDirectoryOfTheAgentRoot) {
  fs::path root = fs::path(g_log->Dir()) / "agent";
  fs::path alert = root / "qrsroot" / "alert";
  fs::create_directories(alert);
  const std::string managed = Ruleset(" managed=\"1\"", kTwoConfigs);
  for (auto [name, text] : {std::pair<const char*, std::string>{"B.RULESET.XML", managed},
                            {"D.ruleset.xml", Ruleset(" managed=\"0\"", kTwoConfigs)}, {"e.ruleset.xml", "<other/>"},
                            {"F.Ruleset.Xml", "<other/>"}, {"a.ruleset.xml", managed},
                            {"c.ruleset.xml", "<ruleset managed=\"1\"><alert_configs>"},
                            {"d.ruleset.xml.txt", managed}})
    std::ofstream(alert / name) << text;
  setenv("VELMORA_AGENT_ROOT", root.c_str(), 1);  // no trailing "/"

  std::string log = g_log->LogText();
  RulesetParser parser(true);
  EXPECT_EQ(parser.RulesetCount(), 2u);
  AlertConfigCollection found;
  parser.Lookup("other", &found);
  EXPECT_EQ(found.Size(), 2u);
  log = g_log->LogText().substr(log.size());
  // Listed in name order without regard to case.
  size_t at = 0;
  for (const char* name : {"a.ruleset.xml", "B.RULESET.XML", "c.ruleset.xml", "D.ruleset.xml", "e.ruleset.xml", "F.Ruleset.Xml"}) {
    at = log.find("Found ruleset file " + (alert / name).string() + "\n", at);
    ASSERT_NE(at, std::string::npos) << name;
  }
  EXPECT_NE(log.find("c.ruleset.xml failed to parse! ("), std::string::npos);

  setenv("VELMORA_AGENT_ROOT", ("/" + std::string(300, 'x')).c_str(), 1);
  std::string dir;
  EXPECT_FALSE(AlertDirectory(&dir));
  unsetenv("VELMORA_AGENT_ROOT");
  ASSERT_TRUE(AlertDirectory(&dir));
  EXPECT_EQ(dir, "/opt/velmora/shared/qrsroot/alert");
}

}  // namespace
