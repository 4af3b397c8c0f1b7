#include "app/Settings.h"

#include "app/AppGlobals.h"
#include "presets/VideoPreset.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

// A family whose extension names a registry key of this test alone, so tests
// running side by side in one Wine prefix never see each other's values.
class KeyedFamily : public VideoPreset {
public:
    explicit KeyedFamily(std::wstring extension) : VideoPreset(nullptr), extension_(std::move(extension)) {}
    const wchar_t* outputExtension() const override { return extension_.c_str(); }

private:
    std::wstring extension_;
};

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string unique = std::to_string(GetCurrentProcessId()) + "-" + info->name();
        family_ = std::make_unique<KeyedFamily>(L"test-" + std::wstring(unique.begin(), unique.end()));
        g_presetFamily = family_.get();
        keyPath_ = settingsKeyPath();
        RegDeleteTreeW(HKEY_CURRENT_USER, keyPath_.c_str());
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, keyPath_.c_str());
        g_presetFamily = nullptr;
    }

    bool keyExists() const {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
    // Writes "out_dir" as another program might.
    void putValue(DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        // Guard bytes after the data: the registry would count a NUL found there.
        std::vector<BYTE> bytes(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
        bytes.insert(bytes.end(), {0xFF, 0xFF});
        EXPECT_EQ(RegSetValueExW(key, L"out_dir", 0, type, bytes.data(), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    struct RawValue {
        DWORD type = REG_NONE;
        std::vector<BYTE> bytes;
    };
    // The value as stored, byte for byte (RegGetValueW would add a terminator).
    RawValue getValue() const {
        RawValue value;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return {};
        DWORD size = 0;
        if (RegQueryValueExW(key, L"out_dir", nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
            value.bytes.resize(size);
            RegQueryValueExW(key, L"out_dir", nullptr, &value.type, value.bytes.data(), &size);
            value.bytes.resize(size);
        } else {
            value.type = REG_NONE;
        }
        RegCloseKey(key);
        return value;
    }

    std::unique_ptr<KeyedFamily> family_;
    std::wstring keyPath_;
};

TEST(SettingsKeyPath, NamesTheProductFolderAndTheFamilyExtension) {
    FlvMp4 family;
    g_presetFamily = &family;
    EXPECT_EQ(settingsKeyPath(), L"Software\\Brivane Media Converter\\mp4");
    g_presetFamily = nullptr;
}

TEST_F(SettingsStore, FirstLoadCreatesTheEmptyKey) {
    ASSERT_FALSE(keyExists());
    EXPECT_EQ(loadOutputFolder(), L"");
    EXPECT_TRUE(keyExists());
    EXPECT_EQ(getValue().type, static_cast<DWORD>(REG_NONE)) << "no value is written by a load";
}

TEST_F(SettingsStore, SavedFoldersLoadBackWithoutTerminator) {
    const std::wstring cases[] = {
        L"D:\\out",                                        // six characters: 12 bytes
        L"",                                               // a REG_SZ of 0 bytes
        L"C:\\Users\\\x00e9l\x00e8ve\\Vid\x00e9os \x65e5\x672c",  // outside ASCII
        L"C:\\" + std::wstring(257, L'x'),                 // 260 characters: 520 bytes
    };
    for (const std::wstring& folder : cases) {
        SCOPED_TRACE(testing::Message() << "length " << folder.size());
        EXPECT_TRUE(saveOutputFolder(folder));
        RawValue raw = getValue();
        EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(raw.bytes.size(), folder.size() * 2);
        EXPECT_EQ(loadOutputFolder(), folder);
    }
}

TEST_F(SettingsStore, ValuesOtherProgramsWroteLoadByTheTypeAndSizeRules) {
    const std::wstring six = L"D:\\out";
    const std::wstring tooLong = L"C:\\" + std::wstring(258, L'y');  // 261 characters
    const DWORD number = 7;
    const wchar_t withNul[] = L"D:\\a\0junk";
    struct Case {
        const char* what;
        DWORD type;
        const void* data;
        DWORD size;
        std::wstring expected;
    } cases[] = {
        {"REG_SZ with its terminator", REG_SZ, six.c_str(), 14, six},
        {"REG_SZ cut at an inner NUL", REG_SZ, withNul, sizeof(withNul), L"D:\\a"},
        {"REG_SZ of 522 bytes", REG_SZ, tooLong.c_str(), 522, L""},
        {"REG_SZ of 522 bytes with terminator", REG_SZ, tooLong.c_str(), 524, L""},
        {"REG_DWORD", REG_DWORD, &number, sizeof(number), L""},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, six.c_str(), 14, L""},
        {"REG_BINARY", REG_BINARY, six.c_str(), 12, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        putValue(c.type, c.data, c.size);
        EXPECT_EQ(loadOutputFolder(), c.expected);
        // A refused value is left as it was; the next save replaces it.
        RawValue raw = getValue();
        EXPECT_EQ(raw.type, c.type);
        EXPECT_EQ(raw.bytes.size(), c.size);
    }
}

TEST_F(SettingsStore, TooLongFolderIsSavedButLoadsEmpty) {
    const std::wstring folder = L"C:\\" + std::wstring(258, L'z');  // 261 characters
    EXPECT_TRUE(saveOutputFolder(folder));
    EXPECT_EQ(getValue().bytes.size(), 522u);
    EXPECT_EQ(loadOutputFolder(), L"");
    EXPECT_TRUE(saveOutputFolder(L"E:\\short"));
    EXPECT_EQ(loadOutputFolder(), L"E:\\short");
}

TEST_F(SettingsStore, SaveReplacesAValueOfAnotherType) {
    const DWORD number = 1;
    putValue(REG_DWORD, &number, sizeof(number));
    EXPECT_TRUE(saveOutputFolder(L"F:\\v"));
    EXPECT_EQ(getValue().type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(loadOutputFolder(), L"F:\\v");
}

TEST_F(SettingsStore, KeyThatCannotBeCreatedFailsQuietly) {
    // A key name component longer than the registry allows.
    KeyedFamily bad(std::wstring(300, L'k'));
    g_presetFamily = &bad;
    EXPECT_FALSE(saveOutputFolder(L"D:\\out"));
    EXPECT_EQ(loadOutputFolder(), L"");
    g_presetFamily = family_.get();
}

}  // namespace
