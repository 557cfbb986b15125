// Long soaks fill the Draft folder; saving into a full folder must not pass for a save.
#include <gtest/gtest.h>

#include <string>

#include "control/fake_window.h"
#include "control/link_controller.h"
#include "control/ui_strings.h"
#include "platform/text.h"
#include "store/folder_table.h"
#include "store/message_store.h"

namespace telvane {
namespace {

TEST(FullFolder, SaveComposedKeepsTheMessageAndBeeps) {
    SetLanguage(0);
    testing::ScopedDataFolder data;
    MessageStore store;
    for (int i = 0; i < kFolderSlots; ++i) {
        SmsRecord record;
        record.number = u"111";
        record.text = u"old " + Widen(std::to_string(i));
        ASSERT_EQ(store.AddShown(record), 1);
    }
    ASSERT_EQ(store.SaveShown(FolderId::Draft), 1);

    testing::FakeWindow window;
    LinkController controller(window, 0.02);
    window.controller = &controller;
    controller.SetPage(kPageCompose);
    window.recipients = u"222";
    window.composeText = u"new draft";
    window.saveToFolder = static_cast<int>(FolderId::Draft);
    controller.SaveComposed();
    window.Pump();

    EXPECT_EQ(window.beeps, 1);
    EXPECT_EQ(controller.Page(), kPageCompose);
    EXPECT_EQ(window.composeText, u"new draft");
    MessageStore reread;
    ASSERT_EQ(reread.LoadShown(FolderId::Draft), 1);
    EXPECT_EQ(reread.Shown().usedCount, kFolderSlots);
    EXPECT_EQ(reread.Shown().entries[0].record.text, u"old 0");
}

}  // namespace
}  // namespace telvane
