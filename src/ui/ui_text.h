// Interface texts as Qt strings, in the language the settings chose.
#pragma once

#include <QString>

#include "control/ui_strings.h"

namespace telvane {

inline QString Ui(UiText text) {
    return QString::fromStdU16String(LoadUiString(text));
}

// Texts of the window alone, in both languages (the string table holds the controller's).
struct WindowText {
    const char* chinese;
    const char* english;
};

inline QString Ui(const WindowText& text) {
    return QString::fromUtf8(chineseUi.load() != 0 ? text.chinese : text.english);
}

}  // namespace telvane
