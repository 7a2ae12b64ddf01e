// FileNameDialog: the rules for reading and completing what the user chose, checked directly, and
// real open and save dialogs typed into and confirmed from a helper thread.
#include <gtest/gtest.h>

#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/handles.h"
#include "framework/ui_handles.h"
#include "ui/file_name_dialog.h"
#include "ui/file_name_directory.h"
#include "ui/file_name_extension.h"
#include "ui/file_name_placement.h"
#include "ui/file_name_request.h"
#include "ui/file_name_selection.h"

namespace quenlet {
namespace {

using Paths = std::vector<std::string>;

// A name buffer as the dialog leaves it: the strings, each NUL-terminated, then zeros up to the
// full size the dialog was given.
std::string nameBuffer(std::initializer_list<std::string_view> strings) {
    std::string buffer;
    for (const std::string_view text : strings) {
        buffer += text;
        buffer += '\0';
    }
    buffer.resize(FileNameDialog::nameBufferSize + 1, '\0');
    return buffer;
}

bool neverDirectory(const char*) { return false; }
bool alwaysDirectory(const char*) { return true; }
bool mustNotBeAsked(const char*) {
    ADD_FAILURE() << "a single selection is not probed";
    return false;
}

// A folder of its own in the temporary directory, removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder() {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        path_ = std::string(temp) + "quenlet_fnd_" + std::to_string(GetCurrentProcessId()) + "_" +
                std::to_string(GetTickCount());
        created_ = CreateDirectoryA(path_.c_str(), nullptr) != FALSE;
    }
    ~TemporaryFolder() {
        WIN32_FIND_DATAA entry;
        const std::string pattern = path_ + "\\*";
        const HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                    DeleteFileA((path_ + "\\" + entry.cFileName).c_str());
                }
            } while (FindNextFileA(search, &entry));
            FindClose(search);
        }
        RemoveDirectoryA(path_.c_str());
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    bool created() const { return created_; }
    // Without a trailing backslash.
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }
    bool createFile(const std::string& name) const {
        const UniqueHandle file(CreateFileA(this->file(name).c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        return file.valid();
    }

private:
    std::string path_;
    bool created_ = false;
};

// A drive letter that names no volume here, or 0 if every one from Q to Y is taken.
char unmappedDrive() {
    const DWORD drives = GetLogicalDrives();
    for (char letter = 'Q'; letter <= 'Y'; ++letter) {
        if ((drives & (1u << (letter - 'A'))) == 0) return letter;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Reading the open dialog's buffer.

TEST(FileNameSelection, DirectoryAndOneNameGiveOneFullPath) {
    EXPECT_EQ(chosenPaths(nameBuffer({"C:\\data", "log.txt"}), true, alwaysDirectory),
              (Paths{"C:\\data\\log.txt"}));
}

TEST(FileNameSelection, DirectoryAndSeveralNamesKeepTheirOrder) {
    EXPECT_EQ(chosenPaths(nameBuffer({"C:\\data", "b.txt", "a.txt", "c"}), true, alwaysDirectory),
              (Paths{"C:\\data\\b.txt", "C:\\data\\a.txt", "C:\\data\\c"}));
}

TEST(FileNameSelection, DriveRootGetsNoSecondBackslash) {
    // The real probe: C:\ is a directory on every system.
    EXPECT_EQ(chosenPaths(nameBuffer({"C:\\", "a", "b"}), true), (Paths{"C:\\a", "C:\\b"}));
}

TEST(FileNameSelection, SingleFileAmongMultipleSelectionStandsAlone) {
    TemporaryFolder folder;
    ASSERT_TRUE(folder.created());
    ASSERT_TRUE(folder.createFile("one.txt"));
    const std::string file = folder.file("one.txt");
    EXPECT_EQ(chosenPaths(nameBuffer({file, "left", "over"}), true), (Paths{file}));
    EXPECT_EQ(chosenPaths(nameBuffer({"C:\\x.txt", "rest"}), true, neverDirectory),
              (Paths{"C:\\x.txt"}));
}

TEST(FileNameSelection, RealFolderIsTakenAsTheDirectory) {
    TemporaryFolder folder;
    ASSERT_TRUE(folder.created());
    EXPECT_EQ(chosenPaths(nameBuffer({folder.path(), "a", "b"}), true),
              (Paths{folder.file("a"), folder.file("b")}));
}

TEST(FileNameSelection, UnreadableFirstStringCountsAsDirectory) {
    const char drive = unmappedDrive();
    if (drive == 0) GTEST_SKIP() << "no unmapped drive letter";
    const std::string missing = std::string(1, drive) + ":\\gone";
    ASSERT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(reportsDirectory(missing.c_str()));
    EXPECT_EQ(chosenPaths(nameBuffer({missing, "a"}), true), (Paths{missing + "\\a"}));
}

TEST(FileNameSelection, EmptyBufferGivesNoPaths) {
    EXPECT_TRUE(chosenPaths(nameBuffer({}), true, alwaysDirectory).empty());
    EXPECT_TRUE(chosenPaths(nameBuffer({}), false, mustNotBeAsked).empty());
    EXPECT_TRUE(chosenPaths(std::string_view(), true, alwaysDirectory).empty());
}

TEST(FileNameSelection, DirectoryWithoutNamesGivesNoPaths) {
    EXPECT_TRUE(chosenPaths(nameBuffer({"C:\\data"}), true, alwaysDirectory).empty());
}

TEST(FileNameSelection, SingleSelectionIsTheWholeTextUnprobed) {
    EXPECT_EQ(chosenPaths(nameBuffer({"C:\\my files\\a b.txt", "ignored"}), false, mustNotBeAsked),
              (Paths{"C:\\my files\\a b.txt"}));
}

TEST(FileNameSelection, ReadingStopsAtTheEndOfTheBuffer) {
    const std::string unterminated("C:\\d\0a\0bc", 9);
    EXPECT_EQ(chosenPaths(unterminated, true, alwaysDirectory), (Paths{"C:\\d\\a", "C:\\d\\bc"}));
    EXPECT_EQ(chosenPaths(std::string_view("C:\\x", 4), false, mustNotBeAsked), (Paths{"C:\\x"}));
}

// ---------------------------------------------------------------------------------------------
// The save dialog's extension rule.

TEST(FileNameExtension, PatternsAreTheSecondStringOfEachPair) {
    EXPECT_EQ(filterPatterns(kTextDocumentsFilter), (Paths{"*.txt", "*.*"}));
    EXPECT_EQ(filterPatterns(kAllFilesFilter), (Paths{"*.*"}));
    EXPECT_TRUE(filterPatterns(nullptr).empty());
    EXPECT_TRUE(filterPatterns("").empty());
    EXPECT_EQ(filterPatterns("Logs\0*.log\0Orphan\0"), (Paths{"*.log"}));
}

TEST(FileNameExtension, TextFilterAddsItsExtension) {
    EXPECT_EQ(withFilterExtension("log", kTextDocumentsFilter, 1), "log.txt");
    EXPECT_EQ(withFilterExtension("C:\\data\\capture", kTextDocumentsFilter, 1),
              "C:\\data\\capture.txt");
}

TEST(FileNameExtension, AllFilesAddsNothing) {
    EXPECT_EQ(withFilterExtension("C:\\data\\capture", kTextDocumentsFilter, 2), "C:\\data\\capture");
    EXPECT_EQ(withFilterExtension("capture", nullptr, 1), "capture");
    EXPECT_EQ(withFilterExtension("capture", kAllFilesFilter, 1), "capture");
}

TEST(FileNameExtension, AnyDotAnywhereAddsNothing) {
    EXPECT_EQ(withFilterExtension("a.b", kTextDocumentsFilter, 1), "a.b");
    EXPECT_EQ(withFilterExtension("C:\\data\\capture.log", kTextDocumentsFilter, 1),
              "C:\\data\\capture.log");
    EXPECT_EQ(withFilterExtension("C:\\my.dir\\capture", kTextDocumentsFilter, 1),
              "C:\\my.dir\\capture");
}

TEST(FileNameExtension, TailFromThePatternsLastDot) {
    EXPECT_EQ(withFilterExtension("backup", "Archives\0*.tar.gz\0", 1), "backup.gz");
    EXPECT_EQ(withFilterExtension("notes", "Text\0*.txt\0Logs\0*.log\0", 2), "notes.log");
}

TEST(FileNameExtension, UnusableIndexOrPatternAddsNothing) {
    EXPECT_EQ(withFilterExtension("capture", kTextDocumentsFilter, 0), "capture");
    EXPECT_EQ(withFilterExtension("capture", kTextDocumentsFilter, 3), "capture");
    EXPECT_EQ(withFilterExtension("capture", "Anything\0*\0", 1), "capture");
    EXPECT_EQ(withFilterExtension("", kTextDocumentsFilter, 1), "");
}

// ---------------------------------------------------------------------------------------------
// Directory memory.

TEST(FileNameDirectory, AccessibleDriveRemembersTheFolderWithItsBackslash) {
    ASSERT_TRUE(isAccessibleVolumeRoot("C:\\"));
    EXPECT_EQ(directoryAfterChoice("C:\\before\\", "C:\\data\\log.txt"), "C:\\data\\");
    EXPECT_EQ(directoryAfterChoice("C:\\before\\", "C:\\log.txt"), "C:\\");
    EXPECT_EQ(directoryAfterChoice("", "C:\\a\\b\\c.txt"), "C:\\a\\b\\");
}

TEST(FileNameDirectory, UnmappedDriveKeepsThePreviousDirectory) {
    const char drive = unmappedDrive();
    if (drive == 0) GTEST_SKIP() << "no unmapped drive letter";
    const std::string chosen = std::string(1, drive) + ":\\data\\log.txt";
    EXPECT_FALSE(isAccessibleVolumeRoot(chosen));
    EXPECT_EQ(directoryAfterChoice("C:\\before\\", chosen), "C:\\before\\");
}

TEST(FileNameDirectory, NetworkPathKeepsThePreviousDirectory) {
    const std::string chosen = "\\\\server\\share\\log.txt";
    EXPECT_FALSE(isAccessibleVolumeRoot(chosen));
    EXPECT_EQ(directoryAfterChoice("C:\\before\\", chosen), "C:\\before\\");
    EXPECT_EQ(directoryAfterChoice("", "\\\\"), "");
}

// ---------------------------------------------------------------------------------------------
// Centring arithmetic.

bool samePoint(const POINT& a, const POINT& b) { return a.x == b.x && a.y == b.y; }

TEST(FileNamePlacement, CentresInTheRectangleFromTheOriginToTheWorkAreaEdges) {
    const RECT frame{100, 50, 500, 350};  // 400 x 300, wherever it is now
    EXPECT_TRUE(samePoint(centredFrameOrigin(frame, RECT{0, 0, 1024, 768}), POINT{312, 234}));
    // The work area's left and top edges do not move the frame.
    EXPECT_TRUE(samePoint(centredFrameOrigin(frame, RECT{200, 40, 1024, 768}), POINT{312, 234}));
    EXPECT_TRUE(samePoint(centredFrameOrigin(frame, RECT{0, 0, 1024, 728}), POINT{312, 214}));
}

TEST(FileNamePlacement, OddRemaindersAndOversizeFramesTruncateTowardZero) {
    const RECT frame{0, 0, 400, 301};
    EXPECT_TRUE(samePoint(centredFrameOrigin(frame, RECT{0, 0, 1023, 768}), POINT{311, 233}));
    const RECT oversize{-5, -5, 1195, 696};  // 1200 x 701
    EXPECT_TRUE(samePoint(centredFrameOrigin(oversize, RECT{0, 0, 1000, 600}), POINT{-100, -50}));
}

// ---------------------------------------------------------------------------------------------
// Request record size.

TEST(FileNameRequest, ExtendedLayoutOnlyOnNt5) {
    for (const DWORD minor : {0u, 1u, 2u}) {
        EXPECT_EQ(requestSizeForSystem(VER_PLATFORM_WIN32_NT, 5, minor), kExtendedRequestSize);
    }
    const DWORD others[][3] = {
        {VER_PLATFORM_WIN32_NT, 5, 3},      {VER_PLATFORM_WIN32_NT, 4, 0},
        {VER_PLATFORM_WIN32_NT, 3, 51},     {VER_PLATFORM_WIN32_NT, 6, 0},
        {VER_PLATFORM_WIN32_NT, 6, 1},      {VER_PLATFORM_WIN32_NT, 10, 0},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 0}, {VER_PLATFORM_WIN32_WINDOWS, 4, 90},
        {VER_PLATFORM_WIN32_WINDOWS, 5, 0}, {VER_PLATFORM_WIN32s, 5, 1},
    };
    for (const auto& system : others) {
        EXPECT_EQ(requestSizeForSystem(system[0], system[1], system[2]), kVersion4RequestSize)
            << system[0] << " " << system[1] << "." << system[2];
    }
}

TEST(FileNameRequest, SizesAreTheSystemLayouts) {
    EXPECT_EQ(kVersion4RequestSize, OPENFILENAME_SIZE_VERSION_400A);
    EXPECT_EQ(kExtendedRequestSize, sizeof(OPENFILENAMEA));
#if defined(__x86_64__)
    EXPECT_EQ(kVersion4RequestSize, 136u);
    EXPECT_EQ(kExtendedRequestSize, 152u);
#else
    EXPECT_EQ(kVersion4RequestSize, 76u);
    EXPECT_EQ(kExtendedRequestSize, 88u);
#endif
    EXPECT_EQ(sizeof kAllFilesFilter, sizeof "All Files (*.*)" + sizeof "*.*" + 1);
}

std::string documentsFolder() {
    char folder[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, folder, CSIDL_PERSONAL, FALSE);
    return folder;
}

TEST(FileNameDialog, StartsInTheDocumentsFolderWithRecordsSizedForTheSystem) {
    OSVERSIONINFOEXA version{};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version)));
    const DWORD expectedSize =
        requestSizeForSystem(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion);

    const FileNameDialog dialog;
    EXPECT_EQ(dialog.openRecord().lStructSize, expectedSize);
    EXPECT_EQ(dialog.saveRecord().lStructSize, expectedSize);
    EXPECT_EQ(dialog.openRecord().Flags, 0u);
    EXPECT_EQ(dialog.saveRecord().nFilterIndex, 0u);
    EXPECT_FALSE(documentsFolder().empty());
    EXPECT_EQ(dialog.nextInitialDirectory(), documentsFolder());
}

// ---------------------------------------------------------------------------------------------
// Real dialogs. The dialog runs modally on the test's thread; a helper thread finds it, types a
// name into it and confirms, while a bound on every wait keeps a broken dialog from hanging.

constexpr int kNameCombo = 0x47C;  // cmb13
constexpr int kNameEdit = 0x480;   // edt1
constexpr int kFilterCombo = 0x470;  // cmb1
constexpr DWORD kFindLimitMs = 20000;
constexpr DWORD kCloseLimitMs = 10000;
constexpr UINT kSendLimitMs = 5000;

struct FindDialog {
    HWND owner;
    HWND found;
};

BOOL CALLBACK matchDialog(HWND window, LPARAM param) {
    auto* const search = reinterpret_cast<FindDialog*>(param);
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::string_view(className) == "#32770" && GetWindow(window, GW_OWNER) == search->owner &&
        IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK cancelWindow(HWND window, LPARAM) {
    PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

// What the helper does to the dialog, and what it saw.
struct DriveScript {
    std::string typedName;          // empty: press Cancel instead of OK
    int filterSelection = -1;       // zero-based filter entry to pick first, -1 to leave it
};

class FileDialogDriver {
public:
    FileDialogDriver(HWND owner, DriveScript script)
        : owner_(owner), ownerThread_(GetCurrentThreadId()), script_(std::move(script)),
          returned_(makeManualResetEvent()),
          thread_(CreateThread(nullptr, 0, &FileDialogDriver::run, this, 0, nullptr)),
          started_(thread_.valid()) {}
    ~FileDialogDriver() { finish(); }
    FileDialogDriver(const FileDialogDriver&) = delete;
    FileDialogDriver& operator=(const FileDialogDriver&) = delete;

    // Call when the dialog call has returned: ends the helper.
    void finish() {
        SetEvent(returned_.get());
        if (thread_.valid()) WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
    }

    bool started() const { return started_; }
    bool found() const { return frame_ != nullptr; }
    bool typed() const { return typed_; }
    bool closedByUs() const { return !forcedClose_; }
    const RECT& frameRect() const { return frameRect_; }
    const RECT& workArea() const { return workArea_; }
    int nameControlId() const { return nameControlId_; }
    // The file name box's text as the dialog came up.
    const std::string& initialText() const { return initialText_; }

private:
    static DWORD WINAPI run(void* param) {
        static_cast<FileDialogDriver*>(param)->drive();
        return 0;
    }

    bool callReturned(DWORD waitMs) const {
        return WaitForSingleObject(returned_.get(), waitMs) == WAIT_OBJECT_0;
    }

    void drive() {
        const DWORD start = GetTickCount();
        while (frame_ == nullptr && GetTickCount() - start < kFindLimitMs) {
            FindDialog search{owner_, nullptr};
            EnumThreadWindows(ownerThread_, &matchDialog, reinterpret_cast<LPARAM>(&search));
            frame_ = search.found;
            if (frame_ == nullptr && callReturned(20)) return;  // it failed without showing
        }
        if (frame_ == nullptr) return closeByForce();

        readName();
        if (!script_.typedName.empty()) typeName();
        if (script_.filterSelection >= 0) pickFilter();
        GetWindowRect(frame_, &frameRect_);
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea_, 0);

        const bool confirm = !script_.typedName.empty();
        PostMessageA(frame_, WM_COMMAND, confirm ? IDOK : IDCANCEL, 0);
        if (!callReturned(kCloseLimitMs)) closeByForce();
    }

    HWND nameControl() {
        for (const int id : {kNameCombo, kNameEdit}) {
            const HWND control = GetDlgItem(frame_, id);
            if (control == nullptr || !IsWindowVisible(control)) continue;
            nameControlId_ = id;
            return control;
        }
        return nullptr;
    }

    void readName() {
        const HWND control = nameControl();
        if (control == nullptr) return;
        char text[MAX_PATH] = {};
        DWORD_PTR length = 0;
        if (SendMessageTimeoutA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                                SMTO_NORMAL, kSendLimitMs, &length) != 0) {
            initialText_ = text;
        }
    }

    void typeName() {
        if (const HWND control = nameControl()) {
            DWORD_PTR result = 0;
            typed_ = SendMessageTimeoutA(control, WM_SETTEXT, 0,
                                         reinterpret_cast<LPARAM>(script_.typedName.c_str()),
                                         SMTO_NORMAL, kSendLimitMs, &result) != 0 &&
                     result == TRUE;
        }
    }

    void pickFilter() {
        const HWND combo = GetDlgItem(frame_, kFilterCombo);
        DWORD_PTR result = 0;
        SendMessageTimeoutA(combo, CB_SETCURSEL, script_.filterSelection, 0, SMTO_NORMAL,
                            kSendLimitMs, &result);
        SendMessageTimeoutA(frame_, WM_COMMAND, MAKEWPARAM(kFilterCombo, CBN_SELENDOK),
                            reinterpret_cast<LPARAM>(combo), SMTO_NORMAL, kSendLimitMs, &result);
    }

    // Cancels whatever the test thread shows (a message box over the dialog included) until the
    // call returns.
    void closeByForce() {
        forcedClose_ = true;
        do {
            EnumThreadWindows(ownerThread_, &cancelWindow, 0);
        } while (!callReturned(200));
    }

    const HWND owner_;
    const DWORD ownerThread_;
    const DriveScript script_;
    UniqueHandle returned_;
    HWND frame_ = nullptr;
    bool typed_ = false;
    bool forcedClose_ = false;
    int nameControlId_ = 0;
    std::string initialText_;
    RECT frameRect_{};
    RECT workArea_{};
    UniqueHandle thread_;
    const bool started_;
};

// Records what each hook saw when its dialog started, then lets the base class centre it.
class ObservedFileNameDialog : public FileNameDialog {
public:
    UINT_PTR OnOpenHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_INITDIALOG) {
            ++openStarts;
            lastInitialDirectory = initialDirectoryOf(lParam);
        }
        return FileNameDialog::OnOpenHook(window, message, wParam, lParam);
    }
    UINT_PTR OnSaveHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_INITDIALOG) {
            ++saveStarts;
            lastInitialDirectory = initialDirectoryOf(lParam);
        }
        return FileNameDialog::OnSaveHook(window, message, wParam, lParam);
    }

    int openStarts = 0;
    int saveStarts = 0;
    std::string lastInitialDirectory = "(no dialog)";

private:
    static std::string initialDirectoryOf(LPARAM lParam) {
        const auto* const request = reinterpret_cast<const OPENFILENAMEA*>(lParam);
        if (request == nullptr) return "(no request)";
        return request->lpstrInitialDir != nullptr ? request->lpstrInitialDir : "(null)";
    }
};

class FileDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.created());
        owner.reset(CreateWindowExA(0, "STATIC", "File dialog owner",
                                    WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200, nullptr,
                                    nullptr, GetModuleHandleA(nullptr), nullptr));
        ASSERT_TRUE(owner);
    }

    // Frame centred on the work area as the dialog computes it, within two pixels.
    static void expectCentred(const FileDialogDriver& driver) {
        const RECT& frame = driver.frameRect();
        const RECT& area = driver.workArea();
        const LONG width = frame.right - frame.left;
        const LONG height = frame.bottom - frame.top;
        EXPECT_GT(width, 100);
        EXPECT_GT(height, 100);
        EXPECT_NEAR(frame.left, (area.right - width) / 2, 2)
            << "frame " << frame.left << "," << frame.top << " " << width << "x" << height
            << ", work area right " << area.right << " bottom " << area.bottom;
        // The frame is centred by its height at WM_INITDIALOG; Wine's save dialog changes its
        // height by a row of controls after that, which moves the centre by half a row.
        EXPECT_NEAR(frame.top, (area.bottom - height) / 2, kRowAllowance);
    }

    static constexpr LONG kRowAllowance = 20;

    static void expectDrivenToTheEnd(const FileDialogDriver& driver, bool typing = true) {
        EXPECT_TRUE(driver.started());
        EXPECT_TRUE(driver.found()) << "no dialog owned by the test window appeared";
        if (typing) {
            EXPECT_TRUE(driver.typed()) << "no file name box to type into";
        }
        EXPECT_TRUE(driver.closedByUs()) << "the dialog did not close on OK/Cancel";
    }

    TemporaryFolder folder;
    UniqueWindow owner;
    ObservedFileNameDialog dialog;
};

TEST_F(FileDialogTest, OpenReturnsTheChosenFileAndRemembersItsFolder) {
    ASSERT_TRUE(folder.createFile("chosen.txt"));
    Paths chosen;
    {
        FileDialogDriver driver(owner.get(), {"chosen.txt"});
        chosen = dialog.ChooseFilesToOpen(owner.get(), false, kTextDocumentsFilter, "",
                                          folder.path());
        driver.finish();
        expectDrivenToTheEnd(driver);
        expectCentred(driver);
    }
    EXPECT_EQ(chosen, (Paths{folder.file("chosen.txt")}));
    EXPECT_EQ(dialog.openStarts, 1);
    EXPECT_EQ(dialog.saveStarts, 0);
    EXPECT_EQ(dialog.lastInitialDirectory, folder.path());
    const DWORD flags = dialog.openRecord().Flags;
    EXPECT_EQ(flags & 0x881020u, 0x881020u) << std::hex << flags;
    EXPECT_EQ(flags & OFN_ALLOWMULTISELECT, 0u);
    EXPECT_EQ(flags & OFN_OVERWRITEPROMPT, 0u);
    EXPECT_EQ(dialog.openRecord().nMaxFile, FileNameDialog::nameBufferSize);
    EXPECT_EQ(dialog.openRecord().hwndOwner, owner.get());
    EXPECT_EQ(dialog.openRecord().lpstrFile, nullptr) << "the freed buffer is not left behind";
    EXPECT_EQ(dialog.nextInitialDirectory(), folder.path() + "\\");
}

TEST_F(FileDialogTest, OpenWithMultipleSelectionJoinsEachNameToTheFolder) {
    ASSERT_TRUE(folder.createFile("a.txt"));
    ASSERT_TRUE(folder.createFile("b.txt"));
    Paths chosen;
    {
        FileDialogDriver driver(owner.get(), {"\"a.txt\" \"b.txt\""});
        chosen = dialog.ChooseFilesToOpen(owner.get(), true, nullptr, "", folder.path());
        driver.finish();
        expectDrivenToTheEnd(driver);
        expectCentred(driver);
    }
    EXPECT_EQ(chosen, (Paths{folder.file("a.txt"), folder.file("b.txt")}));
    EXPECT_EQ(dialog.openRecord().Flags & 0x881220u, 0x881220u);
    EXPECT_EQ(dialog.nextInitialDirectory(), folder.path() + "\\");

    // The same kind of dialog with one name chosen: the single full path, and multiple selection
    // cleared again when not asked for.
    {
        FileDialogDriver driver(owner.get(), {"b.txt"});
        chosen = dialog.ChooseFilesToOpen(owner.get(), true, nullptr, "", "");
        driver.finish();
        expectDrivenToTheEnd(driver);
    }
    EXPECT_EQ(chosen, (Paths{folder.file("b.txt")}));
    EXPECT_EQ(dialog.lastInitialDirectory, folder.path() + "\\");
    {
        FileDialogDriver driver(owner.get(), {"a.txt"});
        chosen = dialog.ChooseFilesToOpen(owner.get(), false, nullptr, "", "");
        driver.finish();
        expectDrivenToTheEnd(driver);
    }
    EXPECT_EQ(chosen, (Paths{folder.file("a.txt")}));
    EXPECT_EQ(dialog.openRecord().Flags & OFN_ALLOWMULTISELECT, 0u);
}

TEST_F(FileDialogTest, SaveAddsTheSelectedFilterExtensionToANewName) {
    std::string saved;
    {
        FileDialogDriver driver(owner.get(), {"capture"});
        saved = dialog.ChooseFileToSave(owner.get(), true, kTextDocumentsFilter, "",
                                        folder.path());
        driver.finish();
        expectDrivenToTheEnd(driver);
        expectCentred(driver);
    }
    EXPECT_EQ(saved, folder.file("capture.txt"));
    EXPECT_EQ(dialog.saveStarts, 1);
    EXPECT_EQ(dialog.openStarts, 0);
    const DWORD flags = dialog.saveRecord().Flags;
    EXPECT_EQ(flags & 0x881022u, 0x881022u) << std::hex << flags;
    EXPECT_EQ(dialog.saveRecord().nFilterIndex, 1u);
    EXPECT_EQ(dialog.nextInitialDirectory(), folder.path() + "\\");
    EXPECT_EQ(GetFileAttributesA(saved.c_str()), INVALID_FILE_ATTRIBUTES) << "only a name is chosen";
}

TEST_F(FileDialogTest, SaveWithAllFilesSelectedOrADottedNameAddsNothing) {
    std::string saved;
    {
        FileDialogDriver driver(owner.get(), {"capture", 1});
        saved = dialog.ChooseFileToSave(owner.get(), true, kTextDocumentsFilter, "",
                                        folder.path());
        driver.finish();
        expectDrivenToTheEnd(driver);
    }
    EXPECT_EQ(saved, folder.file("capture"));
    EXPECT_EQ(dialog.saveRecord().nFilterIndex, 2u);
    {
        // The filter picked last time is preselected; a name with an extension stays as typed.
        FileDialogDriver driver(owner.get(), {"capture.log", 0});
        saved = dialog.ChooseFileToSave(owner.get(), true, kTextDocumentsFilter, "", "");
        driver.finish();
        expectDrivenToTheEnd(driver);
    }
    EXPECT_EQ(saved, folder.file("capture.log"));
    EXPECT_EQ(dialog.saveRecord().nFilterIndex, 1u);
    {
        FileDialogDriver driver(owner.get(), {"plain"});
        saved = dialog.ChooseFileToSave(owner.get(), false, kTextDocumentsFilter, "", "");
        driver.finish();
        expectDrivenToTheEnd(driver);
    }
    EXPECT_EQ(saved, folder.file("plain")) << "no extension without appendExtension";
}

TEST_F(FileDialogTest, EitherKindOpensWhereTheOtherLastChose) {
    ASSERT_TRUE(folder.createFile("picked.txt"));
    const std::string documents = dialog.nextInitialDirectory();
    {
        FileDialogDriver driver(owner.get(), {folder.file("picked.txt")});
        const Paths chosen = dialog.ChooseFilesToOpen(owner.get(), false, nullptr, "", "");
        driver.finish();
        expectDrivenToTheEnd(driver);
        EXPECT_EQ(chosen, (Paths{folder.file("picked.txt")}));
    }
    EXPECT_EQ(dialog.lastInitialDirectory, documents) << "the first dialog opens in documents";
    {
        FileDialogDriver driver(owner.get(), {"next"});
        const std::string saved = dialog.ChooseFileToSave(owner.get(), true, nullptr, "", "");
        driver.finish();
        expectDrivenToTheEnd(driver);
        EXPECT_EQ(saved, folder.file("next"));
    }
    EXPECT_EQ(dialog.lastInitialDirectory, folder.path() + "\\");
}

TEST_F(FileDialogTest, CancelReturnsNothingAndKeepsTheDirectory) {
    const std::string before = dialog.nextInitialDirectory();
    {
        FileDialogDriver driver(owner.get(), {});
        EXPECT_TRUE(dialog.ChooseFilesToOpen(owner.get(), true, nullptr, "x.txt", "").empty());
        driver.finish();
        expectDrivenToTheEnd(driver, false);
        EXPECT_EQ(driver.initialText(), "x.txt") << "the initial name fills the name box";
    }
    {
        FileDialogDriver driver(owner.get(), {});
        EXPECT_EQ(dialog.ChooseFileToSave(owner.get(), true, nullptr, "", ""), "");
        driver.finish();
        expectDrivenToTheEnd(driver, false);
    }
    EXPECT_EQ(CommDlgExtendedError(), 0u) << "cancelled, not failed";
    EXPECT_EQ(dialog.nextInitialDirectory(), before);
    EXPECT_EQ(dialog.openStarts, 1);
    EXPECT_EQ(dialog.saveStarts, 1);
}

}  // namespace
}  // namespace quenlet
