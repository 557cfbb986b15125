// Interface strings: every text the user sees, in traditional Chinese and in English.
//
// Each text has two string ids, Chinese first: LoadUiString(104, 105) gives "連接中" or
// "Connecting" depending on the language flag.
#pragma once

#include <atomic>
#include <string>

namespace telvane {

// Nonzero: Chinese interface; 0: English.  Set through SetLanguage.
extern std::atomic<int> chineseUi;

// `language` as the settings store it: 1 Chinese, 0 English; any nonzero value counts as
// Chinese.
void SetLanguage(int language);

// The text of the id the language flag selects; empty when the id has no text.
std::u16string LoadUiString(int chineseId, int englishId);

// One string-table entry by id, whatever the language (the language drop-down's lines 79 and
// 80 are shown as they stand); empty when the id has no text.
std::u16string LoadStringById(int id);

}  // namespace telvane
