// The preferences in the registry store: the five values and their order, the defaults on any
// failure, storing that stops at the first failure, and the package's removal.
#include "kohonen/workbench/preferences.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "kohonen/workbench/gridwise_session.h"
#include "kohonen/workbench/registry_store.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

class PreferencesTest : public ::testing::Test {
 protected:
  fs::path keyFolder() const {
    return config.path() / "lumivane" / "registry" / "Software" / "Veltrax" / "Lumivane" / "Gridwise";
  }
  std::string valueBytes(const char* name) const {
    std::ifstream in(keyFolder() / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void writeValue(const char* name, const std::string& bytes) const {
    fs::create_directories(keyFolder());
    std::ofstream(keyFolder() / name, std::ios::binary) << bytes;
  }

  static TrainingSettings custom() {
    TrainingSettings s;
    s.iterations = 321;
    s.initialStiffness = 7.25;
    s.delta = 0.125;
    s.decayFactor = 0.5;
    return s;
  }
  static PaletteTable customPalette() {
    PaletteTable p;
    p.setColour(10, 9, {0x12, 0x34, 0x56});
    p.setColour(2, 0, {1, 2, 3});
    return p;
  }

  lumivane::test::ConfigHomeScope config;
};

TEST(PaletteTableTest, DefaultPalettesRunFromBlackToWhite) {
  const PaletteTable p;
  EXPECT_EQ(p.colour(2, 0), (platform::Rgb{0, 0, 0}));
  EXPECT_EQ(p.colour(2, 1), (platform::Rgb{255, 255, 255}));
  EXPECT_EQ(p.colour(3, 1), (platform::Rgb{127, 127, 127}));
  EXPECT_EQ(p.colour(10, 4), (platform::Rgb{113, 113, 113}));  // ⌊4·255 / 9⌋
  // Palettes lie one after another: k = 2 at 0, 3 at 2, 4 at 5, …, 10 at 44.
  EXPECT_EQ(PaletteTable::firstEntry(3), 2u);
  EXPECT_EQ(PaletteTable::firstEntry(4), 5u);
  EXPECT_EQ(PaletteTable::firstEntry(10), 44u);
  EXPECT_EQ(PaletteTable::firstEntry(10) + 10, PaletteTable::kEntries);
  EXPECT_THROW(p.colour(11, 0), std::out_of_range);
  EXPECT_THROW(p.colour(3, 3), std::out_of_range);
}

TEST(PaletteTableTest, StoredFormIsLittleEndianRedFirst) {
  PaletteTable p;
  p.setColour(3, 1, {0x11, 0x22, 0x33});  // entry 3
  EXPECT_EQ(p.value(3), 0x00332211u);
  const auto bytes = p.toBytes();
  EXPECT_EQ(bytes[12], std::byte{0x11});
  EXPECT_EQ(bytes[13], std::byte{0x22});
  EXPECT_EQ(bytes[14], std::byte{0x33});
  EXPECT_EQ(bytes[15], std::byte{0x00});
  EXPECT_EQ(PaletteTable::fromBytes(bytes), p);
}

TEST_F(PreferencesTest, NoKeyGivesTheDefaultsWhichCloseWritesInTheStoredLayout) {
  TrainingSettings s = custom();
  PaletteTable p = customPalette();
  EXPECT_FALSE(loadPreferences(s, p));
  EXPECT_EQ(s.iterations, 2000);
  EXPECT_EQ(s.initialStiffness, 2.0);
  EXPECT_EQ(s.delta, 0.01);
  EXPECT_EQ(s.decayFactor, 0.001);
  EXPECT_EQ(p, PaletteTable());

  storePreferences(custom(), customPalette());
  EXPECT_EQ(valueBytes("Palette").size(), 216u);
  EXPECT_EQ(valueBytes("Number of iterations"), std::string("\x41\x01\x00\x00", 4));  // 321
  const std::string delta = valueBytes("Delta");
  ASSERT_EQ(delta.size(), 8u);
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i)
    bits = bits << 8 | static_cast<unsigned char>(delta[static_cast<std::size_t>(i)]);
  EXPECT_EQ(std::bit_cast<double>(bits), 0.125);
  EXPECT_EQ(valueBytes("Decay factor").size(), 8u);
  EXPECT_EQ(valueBytes("Initial Stiffness").size(), 8u);

  TrainingSettings back;
  PaletteTable backPalette;
  EXPECT_TRUE(loadPreferences(back, backPalette));
  EXPECT_EQ(back.iterations, 321);
  EXPECT_EQ(back.initialStiffness, 7.25);
  EXPECT_EQ(back.delta, 0.125);
  EXPECT_EQ(back.decayFactor, 0.5);
  EXPECT_EQ(backPalette, customPalette());
}

TEST_F(PreferencesTest, AnyBadValueGivesTheDefaultsForAllFive) {
  const struct {
    const char* value;
    std::string bytes;
  } cases[] = {
      {"Palette", std::string(217, '\x01')},                          // longer than its buffer
      {"Palette", std::string(215, '\x01')},                          // shorter
      {"Decay factor", std::string("\0\0\0\0", 4)},                   // half a double
      {"Number of iterations", std::string("\0\0\0\0\0", 5)},         // longer than an int32
      {"Number of iterations", std::string("\0\0\0\0", 4)},           // 0 passes: outside 1 … 1000000
      {"Delta", std::string("\0\0\0\0\0\0\xf8\x7f", 8)},              // not a number
      {"Initial Stiffness", std::string("\0\0\0\0\0\0\x59\x40", 8)},  // 100.0 is still accepted …
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    storePreferences(custom(), customPalette());
    writeValue(cases[i].value, cases[i].bytes);
    TrainingSettings s;
    PaletteTable p;
    const bool all = loadPreferences(s, p);
    if (i + 1 == std::size(cases)) {
      EXPECT_TRUE(all);
      EXPECT_EQ(s.initialStiffness, 100.0);
      continue;
    }
    EXPECT_FALSE(all) << cases[i].value;
    EXPECT_EQ(s.iterations, 2000) << cases[i].value;
    EXPECT_EQ(s.decayFactor, 0.001) << cases[i].value;
    EXPECT_EQ(p, PaletteTable()) << cases[i].value;
  }
  // … and 100.5 is not.
  storePreferences(custom(), customPalette());
  TrainingSettings tooStiff = custom();
  tooStiff.initialStiffness = 100.5;
  storePreferences(tooStiff, customPalette());
  TrainingSettings s;
  PaletteTable p;
  EXPECT_FALSE(loadPreferences(s, p));
  EXPECT_EQ(s.initialStiffness, 2.0);
}

TEST_F(PreferencesTest, StoringStopsAtTheFirstValueThatCannotBeWritten) {
  // "Delta" taken by a subkey of the same name: the palette and the decay factor are written,
  // the values after the failure are not.
  fs::create_directories(keyFolder() / "Delta");
  storePreferences(custom(), customPalette());
  EXPECT_EQ(valueBytes("Palette").size(), 216u);
  EXPECT_EQ(valueBytes("Decay factor").size(), 8u);
  EXPECT_FALSE(fs::exists(keyFolder() / "Number of iterations"));
  EXPECT_FALSE(fs::exists(keyFolder() / "Initial Stiffness"));
  // No temporary files are left beside the values.
  std::size_t files = 0;
  for (const auto& e : fs::directory_iterator(keyFolder())) files += e.is_regular_file();
  EXPECT_EQ(files, 2u);
}

TEST_F(PreferencesTest, TheSessionReadsWhenTheSheetOpensAndWritesWhenItCloses) {
  storePreferences(custom(), customPalette());
  const RawTable table;
  GridwiseSession session(table, ExcelConnection::instance(Tool::Gridwise));
  EXPECT_EQ(session.trainingSettings().iterations, 2000);  // nothing read before the sheet opens
  EXPECT_TRUE(session.openSheet());
  EXPECT_EQ(session.trainingSettings().iterations, 321);
  EXPECT_EQ(session.palette(), customPalette());

  TrainingSettings changed = custom();
  changed.iterations = 9;
  session.applyPreferences(changed, PaletteTable());
  session.closeSheet();
  TrainingSettings s;
  PaletteTable p = customPalette();
  EXPECT_TRUE(loadPreferences(s, p));
  EXPECT_EQ(s.iterations, 9);
  EXPECT_EQ(p, PaletteTable());
}

TEST_F(PreferencesTest, ParameterRangesHaveTheStandardMessages) {
  EXPECT_FALSE(trainingSettingsProblem(TrainingSettings{}));
  const auto problem = [](auto change) {
    TrainingSettings s;
    change(s);
    return trainingSettingsProblem(s).value_or("");
  };
  EXPECT_EQ(problem([](TrainingSettings& s) { s.iterations = 0; }),
            "Please enter an integer between 1 and 1000000.");
  EXPECT_EQ(problem([](TrainingSettings& s) { s.iterations = 1000001; }),
            "Please enter an integer between 1 and 1000000.");
  EXPECT_EQ(problem([](TrainingSettings& s) { s.iterations = 1000000; }), "");
  EXPECT_EQ(problem([](TrainingSettings& s) { s.initialStiffness = -0.01; }),
            "Please enter a number between 0 and 100.");
  EXPECT_EQ(problem([](TrainingSettings& s) { s.delta = 10.01; }), "Please enter a number between 0 and 10.");
  EXPECT_EQ(problem([](TrainingSettings& s) { s.decayFactor = 1.5; }),
            "Please enter a number between 0 and 1.");
  EXPECT_EQ(problem([](TrainingSettings& s) { s.decayFactor = 0.0; }), "");
}

TEST_F(PreferencesTest, UnregisteringRemovesThePackageTreeDepthFirst) {
  // Nothing stored: nothing happens, not even the root folder appears.
  EXPECT_EQ(unregisterPackage(), 0);
  EXPECT_FALSE(fs::exists(config.path() / "lumivane"));

  storePreferences(custom(), customPalette());
  ASSERT_TRUE(RegistryKey::create("Software\\Veltrax\\Lumivane\\Other\\Deeper\\Deepest"));
  ASSERT_TRUE(RegistryKey::create("Software\\Elsewhere"));
  unregisterPackage();
  EXPECT_FALSE(RegistryKey::open("Software\\Veltrax\\Lumivane"));
  EXPECT_FALSE(RegistryKey::open("Software\\Veltrax"));  // no subkeys were left
  EXPECT_TRUE(RegistryKey::open("Software\\Elsewhere"));

  // Another package of the same maker keeps the maker's key.
  storePreferences(custom(), customPalette());
  ASSERT_TRUE(RegistryKey::create("Software\\Veltrax\\Another"));
  unregisterPackage();
  EXPECT_FALSE(RegistryKey::open("Software\\Veltrax\\Lumivane"));
  EXPECT_TRUE(RegistryKey::open("Software\\Veltrax\\Another"));
}

TEST_F(PreferencesTest, TheStoreLivesUnderTheConfigHomeAndNeverUnderTheWorkingFolder) {
  EXPECT_EQ(registryRoot(), config.path() / "lumivane" / "registry");
  // A relative config home is ignored in favour of ~/.config.
  lumivane::test::TempDir home;
  const char* oldHome = std::getenv("HOME");
  const std::string savedHome = oldHome ? oldHome : "";
  setenv("HOME", home.path().c_str(), 1);
  setenv("XDG_CONFIG_HOME", "relative/config", 1);
  EXPECT_EQ(registryRoot(), home.path() / ".config" / "lumivane" / "registry");
  setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
  if (oldHome)
    setenv("HOME", savedHome.c_str(), 1);
  else
    unsetenv("HOME");
}

TEST_F(PreferencesTest, KeysRefuseNamesThatLeaveTheirFolder) {
  for (const char* bad : {"", "Software\\\\X", "Software\\..", "Software\\.", "Software/Veltrax", "..\\x"})
    EXPECT_FALSE(RegistryKey::create(bad)) << bad;
  const auto key = RegistryKey::create("Software\\K");
  ASSERT_TRUE(key);
  const std::array<std::byte, 2> two{std::byte{1}, std::byte{2}};
  EXPECT_FALSE(key->setValue("../escape", two));
  EXPECT_TRUE(key->setValue("v", two));
  std::array<std::byte, 1> small{};
  EXPECT_FALSE(key->queryValue("v", small));  // longer than the buffer
  std::array<std::byte, 4> large{};
  EXPECT_EQ(key->queryValue("v", large), std::optional<std::size_t>(2));
  // A key that still has subkeys is not deleted by a single delete.
  ASSERT_TRUE(RegistryKey::create("Software\\K\\A\\B"));
  EXPECT_FALSE(key->deleteSubkey("A"));
  EXPECT_TRUE(deleteSubkeysRecursively(*key));
  EXPECT_TRUE(key->subkeys().empty());
}

}  // namespace
