#include <gtest/gtest.h>

#include "CScancodeMap.h"
#include "Fatal.h"
#include "KeyCatalogue.h"
#include "KeyboardLayoutKey.h"
#include "cRegistry.h"

using namespace kbl;

namespace {

const std::string kHeader2 = "000000000000000002000000"; // count 2: one entry
const std::string kEnd = "00000000";

struct ScancodeMapTest : ::testing::Test {
    void SetUp() override { TearDown(); }
    void TearDown() override {
        Remove(kMap);
        Remove(kBackup);
    }
};

std::vector<std::int32_t> Readout(const CScancodeMap& m) {
    return {m.GetCurrentKeySetting("3A00"), m.GetCurrentKeySetting("52E0"),
            m.GetCurrentKeySetting("4600")};
}

} // namespace

// Maps Windows would ignore (wrong type, length or count) lock all three keys.
TEST_F(ScancodeMapTest, ReadoutOfStoredMaps) {
    struct Case {
        const char* hex; // nullptr: no value
        DWORD type;
        const char* entries;
        std::vector<std::int32_t> settings;
    } cases[] = {
        {nullptr, REG_BINARY, "", {1, 1, 1}},
        {"", REG_BINARY, "", {1, 1, 1}},
        {"00000000000000000100000000000000", REG_BINARY, "", {1, 1, 1}},
        {"0000000000000000020000002A003A0000000000", REG_BINARY, "2A003A00", {7, 1, 1}},
        {"0000000000000000030000001D003A002A00460000000000",
         REG_BINARY,
         "1D003A002A004600",
         {-1, 1, 7}},
        {"0000000000000000010000002A003A0000000000", REG_BINARY, "", {-1, -1, -1}},
        {"000000000000000002000000", REG_BINARY, "", {-1, -1, -1}},
        {"0000000000000000020000002A003A000000000000", REG_BINARY, "", {-1, -1, -1}},
        {"0000000000000000020000002A003A0000000000", REG_NONE, "", {-1, -1, -1}},
        {"414243", REG_SZ, "", {-1, -1, -1}},
        {"01000000", REG_DWORD, "", {-1, -1, -1}},
    };
    for (const Case& c : cases) {
        TearDown();
        if (c.hex)
            Put(kMap, c.hex, c.type);
        CScancodeMap m;
        EXPECT_EQ(m.CurrentSettingString(), c.entries) << (c.hex ? c.hex : "none");
        EXPECT_EQ(Readout(m), c.settings) << (c.hex ? c.hex : "none");
        EXPECT_EQ(m.MapIsWellFormed(), c.settings[0] != -1 || c.settings[1] != -1)
            << (c.hex ? c.hex : "none");
    }
}

// A map that is not well formed is refused before anything is written; restore still works.
TEST_F(ScancodeMapTest, MalformedMapIsNeverRewritten) {
    const std::string hidden = "000000000000000001000000"
                               "00004600" +
                               kEnd;
    Put(kMap, hidden);
    Put(kBackup, kHeader2 + "2A003A00" + kEnd);
    CScancodeMap m;
    m.SetNewSettingString(m.CurrentSettingString());
    m.BuildNewSettingString(kCapsLock, 7);
    try {
        m.SaveNewSetting();
        FAIL() << "saved";
    } catch (const AppError& e) {
        EXPECT_EQ(e.Number(), -2147194367);
        EXPECT_EQ(e.Source(), ExeName() + ".CScancodeMap");
        EXPECT_EQ(DisplayText(e),
                  "The stored Scancode Map is not well formed; Tavelin does not rewrite it.");
    }
    EXPECT_EQ(Get(kMap), Binary(hidden));
    EXPECT_TRUE(m.KeyNeedsLock(kInsert));
    m.RestoreMap();
    EXPECT_EQ(Get(kMap), Binary(kHeader2 + "2A003A00" + kEnd));
    EXPECT_FALSE(Get(kBackup));
}

TEST_F(ScancodeMapTest, FirstSaveBacksUpTheMapOnceAndRestorePutsItBack) {
    const std::string foreign = "01000000FF000000"
                                "02000000"
                                "1D003800" +
                                kEnd; // own header
    Put(kMap, foreign);
    {
        CScancodeMap m;
        m.SetNewSettingString(m.CurrentSettingString());
        m.BuildNewSettingString(kInsert, 9);
        m.SaveNewSetting();
        EXPECT_EQ(Get(kMap), Binary("000000000000000003000000"
                                    "1D00380021E052E0" +
                                    kEnd));
        EXPECT_EQ(Get(kBackup), Binary(foreign));
    }
    {
        CScancodeMap m; // second run: a second save keeps the first backup
        EXPECT_TRUE(m.BackupMapExists());
        m.SetNewSettingString("");
        m.SaveNewSetting();
        EXPECT_EQ(Get(kMap), Binary(""));
        EXPECT_EQ(Get(kBackup), Binary(foreign));
    }
    CScancodeMap m;
    m.RestoreMap();
    EXPECT_EQ(Get(kMap), Binary(foreign));
    EXPECT_FALSE(Get(kBackup));
}

// 255 entries and more: the count is a full 32-bit number.
TEST_F(ScancodeMapTest, CrowdedMapKeepsAllEntries) {
    std::string entries;
    for (int i = 0; i < 300; ++i)
        entries += "1D003800";
    Put(kMap, "00000000000000002D010000" + entries + kEnd);
    CScancodeMap m;
    m.SetNewSettingString(m.CurrentSettingString());
    m.BuildNewSettingString(kCapsLock, 7);
    m.SaveNewSetting();
    EXPECT_EQ(Get(kMap), Binary("00000000000000002E010000" + entries + "2A003A00" + kEnd));
}

// A restore from an empty backup reaches "no map" even when the map is already gone.
TEST_F(ScancodeMapTest, RestoreOfEmptyBackupWithoutMapSucceeds) {
    Put(kBackup, "");
    CScancodeMap m;
    m.RestoreMap();
    EXPECT_FALSE(Get(kMap));
    EXPECT_FALSE(Get(kBackup));
}

// Without a backup there is nothing to restore from: the map stays, the deletion error comes.
TEST_F(ScancodeMapTest, RestoreWithoutBackupLeavesTheMap) {
    cRegistry reg;
    reg.SetClassKey(0x80000002u);
    reg.SetSectionKey("System\\CurrentControlSet\\Control\\Keyboard Layout\\");
    reg.SetValueKey(kBackup);
    std::optional<AppError> expected;
    try {
        reg.DeleteValue();
    } catch (const AppError& e) {
        expected = e;
    }
    ASSERT_TRUE(expected);

    const std::string map = kHeader2 + "2A003A00" + kEnd;
    Put(kMap, map);
    CScancodeMap m;
    try {
        m.RestoreMap();
        FAIL() << "restored";
    } catch (const AppError& e) {
        EXPECT_EQ(e.Number(), expected->Number());
        EXPECT_EQ(e.Source(), expected->Source());
        EXPECT_EQ(e.Description(), expected->Description());
    }
    EXPECT_EQ(Get(kMap), Binary(map));
}

TEST_F(ScancodeMapTest, BackupStoredAsTextIsNotRestored) {
    Put(kMap, "");
    Put(kBackup, "414200", REG_SZ);
    CScancodeMap m;
    EXPECT_THROW(m.RestoreMap(), AppError);
    EXPECT_EQ(Get(kMap), Binary(""));
}

// Entries the key's list cannot show are reported, locked, and written back unchanged.
TEST_F(ScancodeMapTest, EntriesTheListsCannotShowSurviveASave) {
    Put(kMap, "000000000000000004000000"
              "00004600"
              "52E03A00"
              "3A004600" +
                  kEnd);
    CScancodeMap m;
    EXPECT_EQ(Readout(m), (std::vector<std::int32_t>{1, 1, 3}));
    EXPECT_EQ(m.CurrentEntryFor("3A00"), "52E0");
    EXPECT_EQ(m.CurrentEntryFor("4600"), "0000");
    EXPECT_EQ(m.CurrentEntryFor("52E0"), std::nullopt);
    EXPECT_TRUE(m.KeyNeedsLock(kCapsLock));
    EXPECT_FALSE(m.KeyNeedsLock(kInsert));
    EXPECT_TRUE(m.KeyNeedsLock(kScrollLock));

    m.SetNewSettingString(m.CurrentSettingString());
    for (std::int32_t key : {kCapsLock, kInsert, kScrollLock})
        if (!m.KeyNeedsLock(key))
            m.BuildNewSettingString(key, 4);
    m.SaveNewSetting();
    EXPECT_EQ(Get(kMap), Binary("000000000000000005000000"
                                "00004600"
                                "52E03A00"
                                "3A004600"
                                "5DE052E0" +
                                kEnd));
}

// Value names are compared case-sensitively, but the registry's own lookup is not: a value that
// answers to the backup's name is never overwritten.
TEST_F(ScancodeMapTest, BackupNamedInOtherCaseIsNotOfferedNorOverwritten) {
    Put("tvln backup", "00");
    CScancodeMap m;
    EXPECT_FALSE(m.BackupMapExists());
    m.SetNewSettingString("2A003A00");
    m.SaveNewSetting();
    EXPECT_EQ(Get(kBackup), Binary("00"));
}
