// Keys for the pages' buttons, and tips that name them: every command can be reached from the
// keyboard, and the tip tells a new user how.
#pragma once

#include <QAbstractButton>
#include <QKeySequence>
#include <QVariant>

namespace telvane {

// The button's key, kept with it: a new text would replace the key with its mnemonic.
inline void SetCommandKey(QAbstractButton* button, const QKeySequence& key) {
    button->setProperty("commandKey", key);
    button->setShortcut(key);
}

// Gives the button its text, and a tip with its key.
inline void LabelWithKey(QAbstractButton* button, const QString& text) {
    button->setText(text);
    const QKeySequence key = button->property("commandKey").value<QKeySequence>();
    button->setShortcut(key);
    const QString name = key.toString(QKeySequence::NativeText);
    button->setToolTip(name.isEmpty() ? text : QString("%1 (%2)").arg(text, name));
}

}  // namespace telvane
