// Images from someone else and folders that are not images: pocketsim never follows an image's
// own files out of it, never takes a stray device.db for an image, and never replaces a folder
// that is not a device image, --force or not.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run_program.h"

namespace fs = std::filesystem;

namespace {

class ImageTrust : public testing_support::PocketsimTestBase {
protected:
    // A folder of the user's that must survive every run.
    fs::path UserFolder() {
        const fs::path folder = m_dir / "mine";
        fs::create_directories(folder);
        std::ofstream(folder / "letter.txt") << "dear";
        return folder;
    }
    std::string Text(const fs::path& file) { return testing_support::ReadWholeFile(file); }
};

}  // namespace

// Every way an image's own files can point out of it, and every database that is no image's, is
// refused with one line and exit 1, and nothing outside is touched.
TEST_F(ImageTrust, LinksAndStrayDatabasesAreNoImage) {
    Init();
    const fs::path mine = UserFolder();
    const fs::path image = m_image;
    struct Case {
        const char* what;
        void (*spoil)(const fs::path& image, const fs::path& mine);
        const char* reason;
    };
    const Case cases[] = {
        {"store links out",
         [](const fs::path& i, const fs::path& m) {
             fs::rename(i / "store", i / "store.real");
             fs::create_directory_symlink(m, i / "store");
         },
         "its store is a symbolic link"},
        {"database links out",
         [](const fs::path& i, const fs::path& m) {
             fs::copy_file(i / "device.db", m / "device.db");
             fs::remove(i / "device.db");
             fs::create_symlink(m / "device.db", i / "device.db");
         },
         "device.db is a symbolic link"},
        {"journal links out",
         [](const fs::path& i, const fs::path& m) { fs::create_symlink(m / "letter.txt", i / "journal.log"); },
         "journal.log is a symbolic link"},
        {"empty database",
         [](const fs::path& i, const fs::path&) {
             fs::remove(i / "device.db");
             std::ofstream(i / "device.db");
         },
         "its device.db is empty"},
        {"text database",
         [](const fs::path& i, const fs::path&) {
             fs::remove(i / "device.db");
             std::ofstream(i / "device.db") << "not a database at all, but long enough to be read as one";
         },
         "its database cannot be read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(image);
        fs::remove_all(mine);
        UserFolder();
        Init();
        c.spoil(image, mine);
        for (std::vector<std::string> args : {std::vector<std::string>{"reg", "export", m_image},
                                              {"script", m_image, "\\Windows\\vl_0419.xml"},
                                              {"keyboard", m_image, "key", "82"}}) {
            auto r = Run(args);
            EXPECT_EQ(r.exitCode, 1) << args[0] << ": " << r.out;
            EXPECT_EQ(Lines(r.err), 1) << r.err;
            EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        }
        EXPECT_EQ(Text(mine / "letter.txt"), "dear");
    }
}

// --force replaces a device image and nothing else; demo likewise replaces only its own image.
TEST_F(ImageTrust, OnlyADeviceImageIsReplaced) {
    const fs::path mine = UserFolder();
    std::ofstream(mine / "device.db");  // a stray file of that name makes no image
    for (std::vector<std::string> args : {std::vector<std::string>{"init", mine.string(), "--force"},
                                          {"init", mine.string()},
                                          {"demo", mine.string()}}) {
        auto r = Run(args);
        EXPECT_EQ(r.exitCode, 1) << args[0];
        EXPECT_EQ(Lines(r.err), 1) << r.err;
        EXPECT_EQ(Text(mine / "letter.txt"), "dear") << args[0];
    }
    Init();
    std::ofstream(fs::path(m_image) / "store" / "old.txt") << "old";
    auto r = Run({"init", m_image, "--force"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(fs::exists(fs::path(m_image) / "store" / "old.txt"));
}

// Links inside the store, as an image from someone else may hold them, are not followed: a
// script that deletes, copies or makes things through them touches nothing outside the image.
TEST_F(ImageTrust, LinksInsideTheStoreLeadNowhere) {
    Init();
    const fs::path mine = UserFolder();
    const fs::path store = fs::path(m_image) / "store";
    fs::create_directory_symlink(mine, store / "Evil");
    fs::create_symlink(mine / "letter.txt", store / "link.txt");
    std::ofstream(store / "Temp" / "s.xml")
        << "<s><DeleteFile Source=\"\\Evil\\letter.txt\"/><DeleteFile Source=\"\\link.txt\"/>"
           "<CopyFile Source=\"\\link.txt\" Destination=\"\\copied.txt\"/>"
           "<CreateDirectory Destination=\"\\Evil\\made\"/>"
           "<CopyTo FROM=\"\\Windows\\vl_0409.xml\" TO=\"\\Evil\\planted.xml\"/></s>";
    auto r = Run({"script", m_image, "\\Temp\\s.xml"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Text(mine / "letter.txt"), "dear");
    EXPECT_FALSE(fs::exists(mine / "made"));
    EXPECT_FALSE(fs::exists(mine / "planted.xml"));
    EXPECT_FALSE(fs::exists(store / "copied.txt"));
}
