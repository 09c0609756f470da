#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "fakes/test_rig.h"
#include "retention/enforce_limits.h"
#include "retention/exchange_order.h"
#include "retention/folder_stats.h"
#include "retention/png_listing.h"

namespace ruvello {
namespace {

using testing::TestRig;

struct Folder {
    TestRig rig;
    Folder() { rig.form->AppSettings.ScreenshotFolder = "C:\\Tools\\"; }
    void Add(const std::string& name, int second, std::int64_t size = 1000) {
        rig.fs.AddFile("C:\\Tools\\" + name, size, {2024, 1, 1, 10, 0, second});
    }
    void AddMany(int count, std::int64_t size = 1000) {
        for (int i = 0; i < count; ++i) {
            rig.fs.AddFile("C:\\Tools\\s" + std::to_string(i) + ".png", size,
                           {2024, 1, 1, 10, i / 60, i % 60});
        }
    }
    bool Has(const std::string& name) { return rig.fs.Find("C:\\Tools\\" + name) != nullptr; }
    std::int32_t Count() {
        std::int32_t count = 0;
        double mb = 0;
        rig.form->GetFolderStats(count, mb);
        return count;
    }
    AppSettings& settings() { return rig.form->AppSettings; }
};

TEST(GetFolderStats, CountsOnlyPngFilesDirectlyInTheFolder) {
    Folder f;
    EXPECT_EQ(f.Count(), 0);
    f.Add("a.png", 1, 1'048'576);
    f.Add("B.PNG", 2, 1'048'576);
    f.Add("c.jpg", 3);
    f.Add("d.png.bak", 3);
    f.rig.fs.AddFolder("C:\\Tools\\dir.png");
    f.rig.fs.AddFolder("C:\\Tools\\manueller Screenshot");
    f.rig.fs.AddFile("C:\\Tools\\manueller Screenshot\\m.png", 5000);
    f.rig.fs.AddFile("C:\\Tools\\hidden.png", 5000, {}, true);
    const FolderStats stats = GetFolderStats(f.rig.fs, "C:\\Tools\\");
    EXPECT_EQ(stats.imageCount, 2);
    EXPECT_DOUBLE_EQ(stats.sizeMB, 2.0);
}

TEST(GetFolderStats, SkipsAFileThatVanishedAfterTheListing) {
    Folder f;
    f.Add("a.png", 1);
    f.Add("b.png", 2);
    f.rig.fs.vanishOnRead.insert("C:\\Tools\\a.png");
    EXPECT_EQ(f.Count(), 1);
}

TEST(CountLimit, KeepsTheNewestMaxImageCountFiles) {
    Folder f;
    f.settings().UseMaxSize = false;
    f.AddMany(500);
    f.rig.form->EnforceLimits();
    EXPECT_EQ(f.Count(), 500);
    f.AddMany(503);
    f.rig.form->EnforceLimits();
    EXPECT_EQ(f.Count(), 500);
    EXPECT_FALSE(f.Has("s0.png") || f.Has("s1.png") || f.Has("s2.png"));
    EXPECT_TRUE(f.Has("s3.png") && f.Has("s502.png"));
}

TEST(CountLimit, LimitsNothingWhenSwitchedOff) {
    Folder f;
    f.settings().UseMaxCount = false;
    f.settings().UseMaxSize = false;
    f.settings().MaxImageCount = 25;
    f.AddMany(40);
    f.rig.form->EnforceLimits();
    EXPECT_EQ(f.Count(), 40);
}

TEST(CountLimit, BreaksDateTiesAsTheExchangeSortDoes) {
    // Listed A (10:00:05), B (10:00:05), C (10:00:03): sorted C, B, A.
    for (const auto& [max, kept] : {std::pair{2, std::vector<std::string>{"A.png", "B.png"}},
                                    std::pair{1, std::vector<std::string>{"A.png"}}}) {
        Folder f;
        f.settings().UseMaxSize = false;
        f.settings().MaxImageCount = max;
        f.Add("A.png", 5);
        f.Add("B.png", 5);
        f.Add("C.png", 3);
        f.rig.form->EnforceLimits();
        std::vector<std::string> names;
        for (const FileDetails& file : ListPngFiles(f.rig.fs, "C:\\Tools\\")) {
            names.push_back(file.name);
        }
        EXPECT_EQ(names, kept) << "MaxImageCount " << max;
    }
}

TEST(SizeLimit, DeletesOnlyWhenTheTotalExceedsTheLimit) {
    Folder f;
    f.settings().UseMaxCount = false;
    f.settings().MaxTotalSizeMB = 1;
    f.Add("old.png", 1, 524'288);
    f.Add("new.png", 2, 524'288);
    f.rig.form->EnforceLimits();
    EXPECT_TRUE(f.Has("old.png"));  // exactly 1 MB
    f.rig.fs.Find("C:\\Tools\\new.png")->size = 524'289;
    f.rig.form->EnforceLimits();
    EXPECT_FALSE(f.Has("old.png"));
    EXPECT_TRUE(f.Has("new.png"));
}

TEST(SizeLimit, KeepsTheNewestFileEvenWhenItAloneIsTooLarge) {
    Folder f;
    f.settings().MaxTotalSizeMB = 1;
    f.Add("huge.png", 1, 5'000'000'000);  // beyond 32 bits: sizes are added exactly
    f.rig.form->EnforceLimits();
    EXPECT_TRUE(f.Has("huge.png"));
}

TEST(SizeLimit, CountsAnUndeletableOldestFileAsGone) {
    Folder f;
    f.settings().UseMaxCount = false;
    f.settings().MaxTotalSizeMB = 2;
    f.Add("locked.png", 1, 1'048'576);
    f.Add("b.png", 2, 1'048'576);
    f.Add("c.png", 3, 1'048'576);
    f.Add("d.png", 4, 1'048'576);
    f.rig.fs.undeletable.insert("C:\\Tools\\locked.png");
    f.rig.form->EnforceLimits();
    EXPECT_TRUE(f.Has("locked.png"));
    EXPECT_FALSE(f.Has("b.png"));
    EXPECT_TRUE(f.Has("c.png") && f.Has("d.png"));
}

TEST(SizeLimit, TakesOffTheCountLimitsFilesFirstAndTriesNoFileTwice) {
    Folder f;
    f.settings().MaxImageCount = 2;
    f.settings().MaxTotalSizeMB = 1;
    f.Add("a.png", 1, 600'000);
    f.Add("b.png", 2, 600'000);
    f.Add("c.png", 3, 600'000);
    f.Add("d.png", 4, 600'000);
    f.rig.form->EnforceLimits();
    EXPECT_EQ(f.Count(), 1);
    EXPECT_TRUE(f.Has("d.png"));
    EXPECT_EQ(f.rig.fs.removeCalls, 3);
}

TEST(SizeLimit, BelowOneMegabyteSwitchesItselfOffUntilSaved) {
    Folder f;
    f.settings().UseMaxCount = false;
    f.settings().MaxTotalSizeMB = 0;
    f.Add("a.png", 1, 5'000'000);
    f.Add("b.png", 2, 5'000'000);
    f.rig.form->EnforceLimits();
    EXPECT_FALSE(f.settings().UseMaxSize);
    EXPECT_EQ(f.Count(), 2);
    f.rig.form->SaveSettings();
    EXPECT_NE(f.rig.Ini().find("UseMaxSize=false"), std::string::npos);
}

TEST(EnforceLimits, ToleratesAMissingFolderAndVanishingFiles) {
    Folder f;
    f.settings().ScreenshotFolder = "C:\\Gone\\";
    EXPECT_NO_THROW(f.rig.form->EnforceLimits());
    f.settings().ScreenshotFolder = "C:\\Tools\\";
    f.settings().MaxImageCount = 1;
    f.Add("a.png", 1);
    f.Add("b.png", 2);
    f.Add("c.png", 3);
    f.rig.fs.vanishOnRead.insert("C:\\Tools\\c.png");
    f.rig.form->EnforceLimits();
    EXPECT_FALSE(f.Has("a.png"));
    EXPECT_TRUE(f.Has("b.png"));
}

// The status after a screenshot comes from the retention's own reading of the folder, so that
// must be what a fresh reading finds: with both limits, ties, undeletable files, other files.
TEST(EnforceLimits, LeavesExactlyWhatAFreshReadingFinds) {
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        Folder f;
        f.settings().UseMaxCount = random() % 3 != 0;
        f.settings().MaxImageCount = static_cast<std::int32_t>(random() % 12);
        f.settings().UseMaxSize = random() % 3 != 0;
        f.settings().MaxTotalSizeMB = static_cast<std::int32_t>(1 + random() % 4);
        const int files = static_cast<int>(random() % 16);
        for (int i = 0; i < files; ++i) {
            const std::string name = "s" + std::to_string(i) + (i % 5 == 4 ? ".jpg" : ".png");
            f.Add(name, static_cast<int>(random() % 4), 100'000 + random() % 900'000);
            if (random() % 6 == 0) {
                f.rig.fs.undeletable.insert("C:\\Tools\\" + name);
            }
        }
        const FolderStats left = EnforceLimits(f.rig.fs, f.settings());
        const FolderStats fresh = GetFolderStats(f.rig.fs, "C:\\Tools\\");
        ASSERT_EQ(left.imageCount, fresh.imageCount) << "round " << round;
        ASSERT_DOUBLE_EQ(left.sizeMB, fresh.sizeMB) << "round " << round;
    }
}

TEST(AutoShot, ReadsTheFolderOnceForRetentionAndStatus) {
    Folder f;
    f.settings().MaxImageCount = 2;
    f.Add("a.png", 1);
    f.Add("b.png", 2);
    f.Add("c.png", 3);
    f.rig.fs.undeletable.insert("C:\\Tools\\a.png");
    const int listingsBefore = f.rig.fs.searchCalls;
    f.rig.form->EnforceLimits();
    f.rig.form->RefreshStatus();
    EXPECT_EQ(f.rig.fs.searchCalls - listingsBefore, 1);
    EXPECT_EQ(f.rig.form->menu.Item("mnuInfoCount").caption, "Bilder: 3");  // a.png stayed
    f.Add("d.png", 4);
    EXPECT_EQ(f.Count(), 4);  // any later status reads the folder again
}

// The full exchange sort, as a reference for the lazy one.
std::vector<std::size_t> FullExchangeSort(std::vector<std::int64_t> keys) {
    std::vector<std::size_t> order(keys.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    for (std::size_t i = 0; i + 1 < keys.size(); ++i) {
        for (std::size_t j = i + 1; j < keys.size(); ++j) {
            if (keys[j] < keys[i]) {
                std::swap(keys[i], keys[j]);
                std::swap(order[i], order[j]);
            }
        }
    }
    return order;
}

TEST(ExchangeOrder, MatchesTheFullExchangeSortOnInputsFullOfTies) {
    std::mt19937 random(12345);
    for (int round = 0; round < 2000; ++round) {
        const std::size_t n = 1 + random() % 40;
        std::vector<std::int64_t> keys(n);
        for (auto& key : keys) {
            key = static_cast<std::int64_t>(random() % (1 + round % 6));
        }
        const std::vector<std::size_t> expected = FullExchangeSort(keys);
        ExchangeOrder lazy(keys);
        const std::size_t asked = random() % n;  // only a prefix is ever asked for
        for (std::size_t p = 0; p <= asked; ++p) {
            ASSERT_EQ(lazy.At(p), expected[p]) << "round " << round << " position " << p;
        }
    }
}

}  // namespace
}  // namespace ruvello
