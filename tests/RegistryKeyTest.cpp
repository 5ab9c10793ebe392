#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InstalledState.h"
#include "RegistryKey.h"
#include "TestFiles.h"
#include "TestPrograms.h"
#include "TestRegistry.h"

namespace {

const wchar_t* const TestRoot = L"Software\\Ravelnest Tests\\RegistryKey";

class RegistryKeyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A failed earlier run must not poison this one.
        DeleteTestKey(HKEY_CURRENT_USER, TestRoot);
        ASSERT_EQ(ERROR_SUCCESS, m_root.Create(HKEY_CURRENT_USER, TestRoot));
    }
    void TearDown() override
    {
        m_root.Close();
        DeleteTestKey(HKEY_CURRENT_USER, TestRoot);
    }

    static std::wstring Path(const wchar_t* below) { return std::wstring(TestRoot) + L"\\" + below; }

    static void CreateKey(const wchar_t* below)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, Path(below).c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegCloseKey(key);
    }

    CRegistryKey m_root;
};

bool HandleIsOpen(HKEY key)
{
    DWORD subkeys = 0;
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS;
}

}  // namespace

TEST_F(RegistryKeyTest, DeletingMissingKeyReturnsNotFoundAndChangesNothing)
{
    CreateKey(L"Sibling\\Child");
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, m_root.DeleteKeyTree(L"Missing"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Path(L"Sibling\\Child")));
}

TEST_F(RegistryKeyTest, DeletesLeafAndDeepTreeWithValues)
{
    CreateKey(L"Leaf");
    EXPECT_EQ(ERROR_SUCCESS, m_root.DeleteKeyTree(L"Leaf"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"Leaf")));

    CreateKey(L"Tree\\A\\A1");
    CreateKey(L"Tree\\A\\A2");
    CreateKey(L"Tree\\B\\B1\\Deep");
    // The longest name a key may have, two levels below the removed key.
    CreateKey((L"Tree\\B\\" + std::wstring(255, L'n')).c_str());
    CRegistryKey withValues;
    ASSERT_EQ(ERROR_SUCCESS, withValues.Open(HKEY_CURRENT_USER, Path(L"Tree\\B").c_str()));
    EXPECT_EQ(ERROR_SUCCESS, withValues.SetStringValue(L"DisplayName", L"Ravelnest Reelshifter SDK 1.2.0"));
    EXPECT_EQ(ERROR_SUCCESS, withValues.SetDWordValue(L"AuthenticationLevel", 1));
    withValues.Close();
    CreateKey(L"Keep");

    EXPECT_EQ(ERROR_SUCCESS, m_root.DeleteKeyTree(L"Tree"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"Tree")));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Path(L"Keep")));
}

// A link in the tree goes as a link, never its target: one to its own parent, ones to
// unrelated keys with values and with subkeys, and one given as the removed key itself.
TEST_F(RegistryKeyTest, LinksAreRemovedAsLinksAndTheirTargetsStay)
{
    CreateKey(L"Unrelated\\WithSubkeys\\Child");
    SetString(HKEY_CURRENT_USER, Path(L"Unrelated\\WithValues"), L"Data", L"kept");
    CreateKey(L"Tree\\Sub");
    const auto link = [](const wchar_t* at, const wchar_t* target) {
        return CreateRegistryLink(HKEY_CURRENT_USER, Path(at), HKEY_CURRENT_USER, Path(target));
    };
    ASSERT_TRUE(link(L"Tree\\Sub\\ToParent", L"Tree\\Sub"));
    ASSERT_TRUE(link(L"Tree\\ToValues", L"Unrelated\\WithValues"));
    ASSERT_TRUE(link(L"Tree\\Sub\\ToSubkeys", L"Unrelated\\WithSubkeys"));
    ASSERT_TRUE(link(L"TopLink", L"Unrelated\\WithSubkeys"));
    ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, Path(L"Tree\\ToValues"))) << "links work here";

    EXPECT_EQ(ERROR_SUCCESS, m_root.DeleteKeyTree(L"Tree"));
    EXPECT_EQ(ERROR_SUCCESS, m_root.DeleteKeyTree(L"TopLink"));
    EXPECT_EQ(std::vector<std::wstring>{L"Unrelated"}, SubkeyNames(HKEY_CURRENT_USER, TestRoot));
    std::wstring value;
    EXPECT_TRUE(ReadString(HKEY_CURRENT_USER, Path(L"Unrelated\\WithValues"), L"Data", value));
    EXPECT_EQ(L"kept", value);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Path(L"Unrelated\\WithSubkeys\\Child")));
}

TEST_F(RegistryKeyTest, OpenAndCreateReplaceHeldKeyOnlyOnSuccess)
{
    CreateKey(L"First");
    CreateKey(L"Second");
    CRegistryKey holder;
    EXPECT_EQ(ERROR_SUCCESS, holder.Open(HKEY_CURRENT_USER, Path(L"First").c_str()));
    const HKEY first = holder.Get();

    EXPECT_EQ(ERROR_FILE_NOT_FOUND, holder.Open(HKEY_CURRENT_USER, Path(L"Missing").c_str()));
    EXPECT_EQ(first, holder.Get());
    EXPECT_TRUE(HandleIsOpen(first));

    EXPECT_EQ(ERROR_SUCCESS, holder.Open(HKEY_CURRENT_USER, Path(L"Second").c_str()));
    EXPECT_NE(first, holder.Get());
    EXPECT_FALSE(HandleIsOpen(first));

    const HKEY second = holder.Get();
    EXPECT_EQ(ERROR_SUCCESS, holder.Create(HKEY_CURRENT_USER, Path(L"Third\\Below").c_str()));
    EXPECT_FALSE(HandleIsOpen(second));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Path(L"Third\\Below")));

    const HKEY third = holder.Get();
    EXPECT_EQ(ERROR_INVALID_HANDLE, holder.Create(nullptr, L"Child"));
    EXPECT_EQ(third, holder.Get());

    EXPECT_EQ(ERROR_SUCCESS, holder.Close());
    EXPECT_EQ(nullptr, holder.Get());
    EXPECT_EQ(ERROR_SUCCESS, holder.Close());
}

TEST_F(RegistryKeyTest, NullNameOpensTheParentItself)
{
    CRegistryKey self;
    ASSERT_EQ(ERROR_SUCCESS, self.Open(m_root.Get(), nullptr));
    EXPECT_NE(m_root.Get(), self.Get());
    CreateKey(L"Child");
    EXPECT_EQ(ERROR_SUCCESS, self.DeleteKeyTree(L"Child"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"Child")));
}

TEST_F(RegistryKeyTest, ValuesHaveExactTypesAndSizes)
{
    EXPECT_EQ(ERROR_SUCCESS, m_root.SetStringValue(nullptr, L"Ravelnest Reelshifter 1.3.0"));
    EXPECT_EQ(ERROR_SUCCESS, m_root.SetStringValue(L"Empty", L""));
    EXPECT_EQ(ERROR_SUCCESS, m_root.SetStringValue(L"Japanese", L"\x30BB\x30C3\x30C8\x30A2\x30C3\x30D7"));
    EXPECT_EQ(ERROR_SUCCESS, m_root.SetDWordValue(L"AuthenticationLevel", 1));

    const struct {
        const wchar_t* name;
        DWORD type;
        DWORD bytes;
    } rows[] = {
        {nullptr, REG_SZ, (27 + 1) * 2},
        {L"Empty", REG_SZ, 2},
        {L"Japanese", REG_SZ, (6 + 1) * 2},
        {L"AuthenticationLevel", REG_DWORD, 4},
    };
    for (const auto& row : rows) {
        DWORD type = 0;
        DWORD bytes = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(m_root.Get(), row.name, nullptr, &type, nullptr, &bytes));
        EXPECT_EQ(row.type, type) << (row.name ? "named value" : "default value");
        EXPECT_EQ(row.bytes, bytes) << (row.name ? "named value" : "default value");
    }
    DWORD value = 0;
    DWORD bytes = sizeof(value);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(m_root.Get(), L"AuthenticationLevel", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(&value), &bytes));
    EXPECT_EQ(1u, value);
}

TEST_F(RegistryKeyTest, OperationsOnEmptyHolderReturnCodes)
{
    CRegistryKey empty;
    EXPECT_EQ(ERROR_SUCCESS, empty.Close());
    EXPECT_NE(ERROR_SUCCESS, empty.SetDWordValue(L"x", 1));
    EXPECT_NE(ERROR_SUCCESS, empty.DeleteKeyTree(L"x"));
}
