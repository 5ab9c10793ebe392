// RemoveFolderContents on real folder trees in the prefix: what goes, what is refused,
// and that a link is unlinked without its target losing anything.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <vector>

#include "FolderWalk.h"
#include "InstalledState.h"
#include "RemoveFolderContents.h"
#include "TestFiles.h"
#include "TestPrograms.h"
#include "TestRegistry.h"

namespace {

const std::wstring Root = L"C:\\ravelnest-tests\\tree";
const std::wstring Old = Root + L"\\Old";

// A small tree with a read-only, a hidden and a system file and two levels of folders.
void MakeTree(const std::wstring& folder)
{
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW((folder + L"\\sub").c_str(), nullptr);
    CreateDirectoryW((folder + L"\\sub\\deeper").c_str(), nullptr);
    WriteText(folder + L"\\a.txt", "a");
    WriteText(folder + L"\\sub\\b.txt", "b");
    WriteText(folder + L"\\sub\\deeper\\c.txt", "c");
    const struct {
        const wchar_t* name;
        DWORD attributes;
    } marked[] = {{L"\\read-only.txt", FILE_ATTRIBUTE_READONLY},
                  {L"\\hidden.txt", FILE_ATTRIBUTE_HIDDEN},
                  {L"\\sub\\system.txt", FILE_ATTRIBUTE_SYSTEM},
                  {L"\\sub\\deeper\\all.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}};
    for (const auto& file : marked) {
        WriteText(folder + file.name, "x");
        SetFileAttributesW((folder + file.name).c_str(), file.attributes);
    }
    SetFileAttributesW((folder + L"\\sub").c_str(), FILE_ATTRIBUTE_READONLY);
}

// A read-only file whose name has 255 characters, the longest a name can have, at the top
// of `folder` and two levels down, where its path is past MAX_PATH.
void PlantLongNames(const std::wstring& folder)
{
    for (const wchar_t* below : {L"\\", L"\\sub\\deeper\\"}) {
        const std::wstring path = L"\\\\?\\" + folder + below + std::wstring(251, L'n') + L".txt";
        WriteText(path, "long");
        ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY)) << path.size();
    }
}

// The names directly in `folder`, without entering anything.
std::vector<std::wstring> EntriesOf(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    ForEachFolderEntry((folder + L"\\*").c_str(), [&names](const WIN32_FIND_DATAW& found) { names.push_back(found.cFileName); });
    return names;
}

class RemoveFolderContentsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteTree(Root);
        CreateDirectoryW(L"C:\\ravelnest-tests", nullptr);
        CreateDirectoryW(Root.c_str(), nullptr);
        MakeTree(Old);
        m_oldListing = ListFolder(Old);
    }
    void TearDown() override { DeleteTree(Root); }

    std::wstring m_oldListing;
};

TEST_F(RemoveFolderContentsTest, WildcardEmptiesTheFolderAndPlainPathRemovesIt)
{
    PlantLongNames(Old);
    RemoveFolderContents((Old + L"\\*").c_str());
    EXPECT_TRUE(FolderExists(Old));
    EXPECT_EQ(L"", ListFolder(Old)) << "read-only, hidden, system and long-named entries go too";

    MakeTree(Old);
    PlantLongNames(Old);
    RemoveFolderContents(Old.c_str());
    EXPECT_FALSE(FolderExists(Old)) << ListFolder(Old).c_str();

    MakeTree(Old);
    RemoveFolderContents((Old + L"\\").c_str());
    EXPECT_FALSE(FolderExists(Old)) << "a trailing backslash names the folder itself";
    EXPECT_TRUE(FolderExists(Root));
}

TEST_F(RemoveFolderContentsTest, FolderDirectlyInADriveRootIsRefusedButItsContentIsNot)
{
    const std::wstring top = L"C:\\ravelnest-tests-top";
    DeleteTree(top);
    MakeTree(top);
    const std::wstring listing = ListFolder(top);
    RemoveFolderContents(top.c_str());
    EXPECT_EQ(listing, ListFolder(top));
    RemoveFolderContents((top + L"\\*").c_str());
    EXPECT_TRUE(FolderExists(top));
    EXPECT_EQ(L"", ListFolder(top));
    DeleteTree(top);
}

TEST_F(RemoveFolderContentsTest, FoldersDirectlyInSpecialFoldersAreRefusedInAnyLetterCase)
{
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    for (const std::wstring& special : {ShellFolder(CSIDL_PROGRAM_FILES), ShellFolder(CSIDL_DESKTOPDIRECTORY),
                                        std::wstring(windows), ShellFolder(CSIDL_COMMON_PROGRAMS)}) {
        const std::wstring folder = special + L"\\RavelnestRefused";
        MakeTree(folder);
        const std::wstring listing = ListFolder(folder);
        for (const std::wstring& target : {folder, Upper(folder), folder + L"\\", Upper(special) + L"\\ravelnestrefused"}) {
            RemoveFolderContents(target.c_str());
            EXPECT_EQ(listing, ListFolder(folder)) << target.c_str();
        }
        DeleteTree(folder);
    }
}

TEST_F(RemoveFolderContentsTest, RelativeTargetsAreRefused)
{
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(Root.c_str());
    for (const wchar_t* target : {L"Old\\*", L"Old", L".\\Old\\sub", L"Old\\sub\\*"}) {
        RemoveFolderContents(target);
        EXPECT_EQ(m_oldListing, ListFolder(Old)) << target;
    }
    SetCurrentDirectoryW(previous);
}

TEST_F(RemoveFolderContentsTest, SpecialFolderNestedInTheTreeKeepsItsContent)
{
    const std::wstring music = Old + L"\\Music";
    CreateDirectoryW(music.c_str(), nullptr);
    WriteText(music + L"\\song.txt", "keep");
    {
        CStringOverride myMusic(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                                L"My Music", music);
        ASSERT_EQ(music, ShellFolder(CSIDL_MYMUSIC)) << "the shell does not take the changed folder";
        RemoveFolderContents(Old.c_str());
    }
    EXPECT_EQ(L"Music\\\nMusic\\song.txt 4\n", ListFolder(Old)) << "the rest of the walk went on";
}

TEST_F(RemoveFolderContentsTest, LinksAreUnlinkedAndTheirTargetsKeepEveryFile)
{
    const std::wstring kept = Root + L"\\kept";
    MakeTree(kept);
    const std::wstring keptListing = ListFolder(kept);
    ASSERT_TRUE(PlantUnixLink(Old + L"\\folder-link", kept));
    // Only a link to a folder: Wine shows a link to a file as a plain file, and deleting it
    // there deletes the file it points at, which a Windows file link never does.
    EXPECT_EQ(0x410u, GetFileAttributesW((Old + L"\\folder-link").c_str()) & 0x410u);

    RemoveFolderContents(Old.c_str());
    EXPECT_EQ(keptListing, ListFolder(kept));
    EXPECT_EQ(std::vector<char>{'a'}, ReadBytes(kept + L"\\a.txt"));
    // Windows unlinks the link with the folder; Wine's RemoveDirectoryW follows a Unix link
    // and refuses, so there the link alone stays behind.
    const std::vector<std::wstring> left = EntriesOf(Old);
    EXPECT_TRUE(left.empty() || left == std::vector<std::wstring>{L"folder-link"});
    RemoveUnixLink(Old + L"\\folder-link");
}

}  // namespace
