// The Compose page: recipients and the address button, the message text with its counter, the
// canned messages, the Save-To folder, and the picture mode with its editor.
#pragma once

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "canned/canned_tree.h"
#include "control/window_interface.h"
#include "ui/page.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace telvane {

class PictureEditor;

class ComposePage : public Page {
    Q_OBJECT

  public:
    ComposePage(qreal scale, QWidget* parent);

    void Relayout() override;
    void Relabel(ComposeMode mode);

    // The recipients after picking: `lines` are the list's (number, ticked) pairs in order.
    static std::u16string PickRecipients(std::u16string recipients,
                                         const std::vector<std::pair<std::u16string, bool>>& lines);
    static bool IsAmongRecipients(const std::u16string& recipients, const std::u16string& number);

    std::u16string RecipientText() const;
    void SetRecipientText(const std::u16string& text);
    std::u16string ComposeText() const { return composeText_; }
    void SetComposeText(const std::u16string& text) { composeText_ = text; }

    // Puts a text into the box, cut to what kMaxComposeParts messages hold.
    void SetMessageText(const std::u16string& text);
    int MessageLimit() const { return messageLimit_; }
    // Long texts are counted for the reference size the sender will use.
    void SetSixteenBitReference(bool on);
    // A fresh message: no recipients, no text, a blank picture.
    void Clear();
    // A reply starts on an empty line above the quote, with the caret on it.
    void StartAboveQuote();

    // Folders (text) or picture kinds with `pictureKind` chosen, and which controls show.
    void ApplyMode(ComposeMode mode, PictureKind kind);
    void RebuildPicture(PictureKind kind);
    PictureEditor* Picture() const { return picture_; }
    bool PictureIsEmpty() const;
    std::u16string PictureHex() const;
    int SaveToFolder() const;
    void SelectSaveLine(int line);

    // The canned library `name` into the tree; a library that cannot be read leaves the tree.
    void ChooseLibrary(const QString& name);
    QString LibraryName() const;
    const CannedNode& CannedTree() const { return cannedTree_; }
    QTreeWidget* CannedTreeWidget() const { return cannedTreeWidget_; }
    bool CannedTreeShown() const { return cannedTreeShown_; }

  signals:
    void SendClicked();
    void SaveClicked();
    void AddressClicked();
    void LogoTextClicked();
    void PictureKindChosen(PictureKind kind);
    void LibraryChosen(const QString& name);
    // Typed or pasted text was refused, whole or in part: the window beeps.
    void InputRefused();

  private:
    void OnBoxChanged();
    void OnCannedButton();
    void OnCannedSelection();
    void FillCannedTree(const CannedNode& tree);
    void UpdateCounter(const std::u16string& text);

    QLabel* toLabel_;
    QLineEdit* recipients_;
    QPushButton* address_;
    QPushButton* canned_;
    QLabel* counter_;
    QPlainTextEdit* box_;
    QPushButton* send_;
    QPushButton* saveTo_;
    QComboBox* target_;
    QPushButton* logoText_;
    QPushButton* invert_;
    QComboBox* library_;
    QTreeWidget* cannedTreeWidget_;
    PictureEditor* picture_ = nullptr;

    ComposeMode mode_ = ComposeMode::kText;
    std::array<int, 5> folderOfLine_{};
    std::u16string composeText_;
    CannedNode cannedTree_;
    int messageLimit_ = 160;
    bool cannedTreeShown_ = false;
    bool cannedTreeRebuilding_ = false;
    bool restoringText_ = false;
    bool sixteenBitReference_ = false;
};

}  // namespace telvane
