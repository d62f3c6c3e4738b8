#include "settings/Configuration.h"
#include "../common/KillRounds.h"
#include "StoreTest.h"
#include "settings/BrennixSettings.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

class Settings : public TStoreTest {};

struct TDefaultCase {
  const char *Ident;
  std::string Expected;
};

std::string ValueText(const TBrennixSettings &s, const std::string &ident) {
  for (auto *value : s.Configuration.GetChildren()) {
    if (value->Identifier() != ident)
      continue;
    if (auto *f = dynamic_cast<TZelConfigurationFloat *>(value))
      return std::to_string(f->Value());
    if (auto *i = dynamic_cast<TZelConfigurationInteger *>(value))
      return std::to_string(i->Value());
    if (auto *b = dynamic_cast<TZelConfigurationBoolean *>(value))
      return b->Value() ? "true" : "false";
    if (auto *t = dynamic_cast<TZelConfigurationString *>(value))
      return t->Value();
  }
  return "<missing>";
}

} // namespace

TEST_F(Settings, FreshStoreReadsDefaultsAndFirstWriteCreatesIt) {
  const TBrennixSettings s;
  const TDefaultCase cases[] = {
      {"IdleTravel", std::to_string(100.0)},
      {"LaserOn", "G4 P0~\\~M106 S?~\\~G4 P0"},
      {"LaserOff", "G4 P0~\\~M106 S0~\\~G4 P10"},
      {"GcodePrefix", "M106 S0~\\~G90~\\~G28 X0 Y0~\\~G21"},
      {"GcodeSuffix", "G1 F3000~\\~G1 X0 Y0~\\~M84"},
      {"HeadSpeed", "G1 F?"},
      {"HeadMove", "G1 X? Y?"},
      {"MicroFocusSize", "200"},
      {"ShowTravel", "false"},
      {"OffsetX", std::to_string(0.0)},
      {"OffsetY", std::to_string(0.0)},
      {"OffsetCenter", "false"},
  };
  ASSERT_EQ(s.Configuration.GetChildren().size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].Ident);
    EXPECT_EQ(s.Configuration.GetChildren()[i]->Identifier(), cases[i].Ident);
    EXPECT_EQ(ValueText(s, cases[i].Ident), cases[i].Expected);
  }
  // Reading never writes: the file only appears with the first write.
  EXPECT_FALSE(std::ifstream(Path()).good());
  s.MicroFocusSize->SetValue(50);
  EXPECT_TRUE(std::ifstream(Path()).good());
  TZelConfiguration::CloseStore();
  EXPECT_EQ(s.MicroFocusSize->Value(), 50);
}

TEST_F(Settings, EveryTypeRoundTrips) {
  TZelConfiguration::WriteInteger("I", -123456789);
  TZelConfiguration::WriteBool("B", true);
  TZelConfiguration::WriteString("S", "tab\there\r\nback\\slash ~\\~ ü");
  TZelConfiguration::WriteExpandString("E", "%HOME%/x");
  TZelConfiguration::WriteFloat("F", 0.1);
  TZelConfiguration::WriteDateTime("D", 45000.75);
  EXPECT_EQ(TZelConfiguration::ReadInteger("I", 0), -123456789);
  EXPECT_TRUE(TZelConfiguration::ReadBool("B", false));
  EXPECT_EQ(TZelConfiguration::ReadString("S", ""), "tab\there\r\nback\\slash ~\\~ ü");
  EXPECT_EQ(TZelConfiguration::ReadString("E", ""), "%HOME%/x"); // not expanded
  EXPECT_EQ(TZelConfiguration::ReadFloat("F", 0), 0.1);
  EXPECT_EQ(TZelConfiguration::ReadDateTime("D", 0), 45000.75);
  EXPECT_EQ(TZelConfiguration::ReadDate("D", 0), 45000.0);
  EXPECT_EQ(TZelConfiguration::ReadTime("D", 0), 0.75);
  TZelConfiguration::WriteDateTime("N", -2.25);
  EXPECT_EQ(TZelConfiguration::ReadDate("N", 0), -2.0); // toward zero
  EXPECT_EQ(TZelConfiguration::ReadTime("N", 0), -0.25);
  // Any non-zero integer reads as true; names ignore ASCII case.
  TZelConfiguration::WriteInteger("b2", 7);
  EXPECT_TRUE(TZelConfiguration::ReadBool("B2", false));
  // A replaced value keeps one entry and takes the new type.
  TZelConfiguration::WriteString("I", "now text");
  EXPECT_EQ(TZelConfiguration::ReadInteger("I", 5), 5);
  EXPECT_EQ(TZelConfiguration::ReadString("I", ""), "now text");
}

TEST_F(Settings, MismatchedTypesReadAsDefault) {
  TZelConfiguration::WriteInteger("LaserOn", 3);
  TZelConfiguration::WriteString("MicroFocusSize", "300");
  TZelConfiguration::WriteBinary("IdleTravel", std::string("\0\0\xc8\x42", 4)); // a 4-byte float
  TZelConfiguration::WriteString("OffsetCenter", "1");
  TZelConfiguration::WriteInteger("OffsetX", 5);
  const TBrennixSettings s;
  EXPECT_EQ(s.LaserOn->Value(), s.LaserOn->Default());
  EXPECT_EQ(s.MicroFocusSize->Value(), 200);
  EXPECT_EQ(s.IdleTravel->Value(), 100.0);
  EXPECT_FALSE(s.OffsetCenter->Value());
  EXPECT_EQ(s.OffsetX->Value(), 0.0);
  EXPECT_EQ(TZelConfiguration::ReadDateTime("IdleTravel", 9.5), 9.5);
}

TEST_F(Settings, RangesClampOnReadWithoutRewriting) {
  const TBrennixSettings s;
  struct TCase {
    std::int32_t Stored, Read;
  };
  for (const TCase c :
       {TCase{3, 4}, {4, 4}, {2500, 2500}, {2501, 2500}, {-7, 4}, {1000000, 2500}}) {
    SCOPED_TRACE(c.Stored);
    s.MicroFocusSize->SetValue(c.Stored); // writing does not clamp
    EXPECT_EQ(s.MicroFocusSize->Value(), c.Read);
    EXPECT_EQ(TZelConfiguration::ReadInteger("MicroFocusSize", 0), c.Stored);
  }
  s.OffsetX->SetValue(-5.0);
  EXPECT_EQ(s.OffsetX->Value(), 0.0);
  EXPECT_EQ(TZelConfiguration::ReadFloat("OffsetX", 0), -5.0);
  s.OffsetY->SetValue(1e9);
  EXPECT_EQ(s.OffsetY->Value(), 1000.0);
  s.IdleTravel->SetValue(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(s.IdleTravel->Value(), 0.1);
  s.IdleTravel->SetValue(-std::numeric_limits<double>::infinity());
  EXPECT_EQ(s.IdleTravel->Value(), 0.1);
}

TEST_F(Settings, ResetWritesDefaultAndDeleteKeyForgets) {
  const TBrennixSettings s;
  s.ShowTravel->Reset(); // equal to the default, still written
  EXPECT_NE(FileText().find("dword\tShowTravel\t0\n"), std::string::npos);
  s.HeadMove->SetValue("G0 X? Y?");
  s.ResetAll();
  EXPECT_EQ(s.HeadMove->Value(), "G1 X? Y?");
  for (auto *value : s.Configuration.GetChildren())
    EXPECT_NE(FileText().find("\t" + value->Identifier() + "\t"), std::string::npos)
        << value->Identifier();

  TZelConfiguration::DeleteKey("NoSuchValue"); // nothing to delete, nothing reported
  TZelConfiguration::DeleteKey("HeadMove");
  EXPECT_EQ(TZelConfiguration::ReadString("HeadMove", "gone"), "gone");
  EXPECT_EQ(TZelConfiguration::ReadString("HeadSpeed", ""), "G1 F?");
}

TEST_F(Settings, DamagedFilesReadAsDefaults) {
  TZelConfiguration::WriteInteger("MicroFocusSize", 77);
  const std::string good = FileText();
  ASSERT_EQ(TZelConfiguration::ReadInteger("MicroFocusSize", 0), 77);
  static constexpr char NulInValue[] = "BRENNIX-SETTINGS 1\ndword\tMicroFocusSize\t77\0\nEND\n";
  const std::string damaged[] = {
      good.substr(0, good.size() - 4),                                 // cut short before END
      good.substr(0, good.size() - 1),                                 // END without its line break
      "",                                                              // empty
      "garbage\n",                                                     // not ours
      "BRENNIX-SETTINGS 1\ndword\tMicroFocusSize\tseven\nEND\n",       // bad number
      "BRENNIX-SETTINGS 1\ndword\tMicroFocusSize\t99999999999\nEND\n", // beyond 32 bits
      "BRENNIX-SETTINGS 1\nqword\tMicroFocusSize\t77\nEND\n",          // unknown type
      "BRENNIX-SETTINGS 1\nbinary\tIdleTravel\t0g\nEND\n",             // bad hex
      "BRENNIX-SETTINGS 1\nsz\tHeadMove\tbad\\q\nEND\n",               // bad escape
      "BRENNIX-SETTINGS 1\ndword\tMicroFocusSize\t77\ndword\tmicrofocussize\t78\nEND\n",
      std::string(NulInValue, sizeof NulInValue - 1),
  };
  for (const auto &text : damaged) {
    SCOPED_TRACE(text);
    WriteFile(text);
    EXPECT_EQ(TZelConfiguration::ReadInteger("MicroFocusSize", 200), 200);
  }
  // A write over a damaged file starts a clean one.
  TZelConfiguration::WriteInteger("OffsetCenter", 1);
  EXPECT_TRUE(TZelConfiguration::ReadBool("OffsetCenter", false));
  EXPECT_EQ(TZelConfiguration::ReadInteger("MicroFocusSize", 200), 200);
}

TEST_F(Settings, RefusedWriteRaisesAndLeavesFileWhole) {
  TZelConfiguration::WriteInteger("MicroFocusSize", 77);
  // A folder that cannot exist: its parent is a plain file.
  const std::string blocker = FFolder.path().toStdString() + "/file";
  std::ofstream(blocker) << "x";
  setenv("XDG_CONFIG_HOME", (blocker + "/sub").c_str(), 1);
  TZelConfiguration::CloseStore();
  EXPECT_EQ(TZelConfiguration::ReadInteger("MicroFocusSize", 200), 200);
  try {
    TZelConfiguration::WriteString("HeadMove", "x");
    FAIL() << "no error";
  } catch (const TSettingsError &error) {
    EXPECT_STREQ(error.what(), "Failed to set data for 'HeadMove'");
  }
  TZelConfiguration::DeleteKey("HeadMove"); // deleting stays silent

  // A store whose file cannot be replaced: the target is a folder.
  setenv("XDG_CONFIG_HOME", FFolder.path().toStdString().c_str(), 1);
  TZelConfiguration::SetKeyName("folder");
  ASSERT_EQ(mkdir((FFolder.path().toStdString() + "/folder.conf").c_str(), 0700), 0);
  EXPECT_THROW(TZelConfiguration::WriteFloat("OffsetX", 1), TSettingsError);

  TZelConfiguration::SetKeyName("brennix-test");
  EXPECT_EQ(TZelConfiguration::ReadInteger("MicroFocusSize", 200), 77);
}

TEST_F(Settings, StoreNamedAfterExecutable) {
  struct TCase {
    const char *File, *Key;
  };
  for (const TCase c : {TCase{"brennix", "brennix"},
                        {"Brennix.exe", "Brennix"},
                        {"/usr/local/bin/brennix.test.bin", "brennix"},
                        {"a.b.c.d", "a"},
                        {".hidden", ""},
                        {"/opt/x.y/tool", "tool"}}) {
    SCOPED_TRACE(c.File);
    EXPECT_EQ(TZelConfiguration::KeyNameFromExecutable(c.File), c.Key);
  }
  EXPECT_EQ(TZelConfiguration::StorePath(), Path());
  // A relative XDG_CONFIG_HOME is ignored in favour of ~/.config.
  setenv("XDG_CONFIG_HOME", "relative", 1);
  setenv("HOME", FFolder.path().toStdString().c_str(), 1);
  TZelConfiguration::CloseStore();
  EXPECT_EQ(TZelConfiguration::StorePath(),
            FFolder.path().toStdString() + "/.config/brennix-test.conf");
}

TEST(SettingsDescriptors, ParentOwnsAndReleasesChildren) {
  auto *config = new TZelConfiguration;
  auto *a = new TZelConfigurationInteger("A", 1, config);
  auto *b = new TZelConfigurationBoolean("B", true);
  EXPECT_FALSE(b->HasParent());
  EXPECT_FALSE(b->IsSubComponent());
  b->SetParentComponent(config);
  EXPECT_TRUE(b->IsSubComponent());
  EXPECT_EQ(b->GetParentComponent(), config);
  TZelConfiguration other;
  a->SetParentComponent(&other);
  ASSERT_EQ(config->GetChildren().size(), 1u);
  EXPECT_EQ(config->GetChildren()[0], b);
  ASSERT_EQ(other.GetChildren().size(), 1u);
  delete b; // detaches itself first
  EXPECT_TRUE(config->GetChildren().empty());
  delete config;
  EXPECT_EQ(other.GetChildren()[0], a); // freed with `other`
}

TEST(SettingsTemplates, LineSeparatorRoundTrip) {
  EXPECT_EQ(StoredToMemo("G4 P0~\\~M106 S?~\\~G4 P0"), "G4 P0\r\nM106 S?\r\nG4 P0");
  EXPECT_EQ(MemoToStored("a\r\nb"), "a~\\~b");
  EXPECT_EQ(StoredToMemo("single"), "single");
  for (const std::string text : {"", "a~\\~b", "a~\\~~\\~b", "~\\~", "x~\\"})
    EXPECT_EQ(MemoToStored(StoredToMemo(text)), text) << text;
}

TEST_F(Settings, WriteKilledAtAnyMomentLeavesOneWholeStoreAndNoTemporary) {
  // Long values make each write take long enough to be cut in the middle.
  const std::string values[] = {"first" + std::string(1 << 20, 'a'),
                                "second" + std::string(1 << 20, 'b')};
  std::vector<std::string> versions;
  for (const auto &value : values) {
    TZelConfiguration::WriteString("GcodePrefix", value);
    versions.push_back(FileText());
  }
  // The store holds the second now.
  std::swap(versions[0], versions[1]);
  RunKillRounds(
      Path(), versions,
      [&](std::size_t i) { TZelConfiguration::WriteString("GcodePrefix", values[1 - i]); }, 100,
      [] {
        // The next program to open the store.
        TZelConfiguration::CloseStore();
        TZelConfiguration::ReadString("GcodePrefix", "");
      });
  // And the store still reads as one of them.
  TZelConfiguration::CloseStore();
  const std::string read = TZelConfiguration::ReadString("GcodePrefix", "");
  EXPECT_TRUE(read == values[0] || read == values[1]) << read.substr(0, 20);
}
