// Helpers of the history tests: a scratch folder and messages made in one line.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "history/history_db.h"
#include "history/history_keys.h"
#include "support/temp_data_folder.h"

namespace telvane::testing {

inline HistoryMessage Msg(std::u16string number, std::u16string time, std::u16string text,
                          HistoryDirection direction = HistoryDirection::kIn,
                          std::u16string name = {}) {
    HistoryMessage m;
    m.number = std::move(number);
    m.timeText = std::move(time);
    m.time = HistoryTime(m.timeText).value_or(0);
    m.text = std::move(text);
    m.direction = direction;
    m.name = std::move(name);
    m.store = u"inbox";
    m.key = MessageKey(m.direction, m.number, m.timeText, m.text);
    return m;
}

class HistoryTest : public ::testing::Test {
  protected:
    std::filesystem::path File() const { return folder_.path() / kHistoryFileName; }
    void OpenWriter() { ASSERT_TRUE(db_.Open(File(), HistoryAccess::kWrite)) << db_.LastError(); }

    TempDataFolder folder_;
    HistoryDb db_;
};

}  // namespace telvane::testing
