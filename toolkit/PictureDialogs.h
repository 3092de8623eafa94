// The open- and save-picture dialogs: a file dialog with a preview of the selected picture. The
// filter is written as display texts and patterns separated by vertical bars
// ("JPEG Image File (*.jpg)|*.jpg|Bitmaps (*.bmp)|*.bmp"); FilterIndex counts its pairs from 1 and
// names the one selected when the user confirmed. The dialog remembers the filter index and the file
// name of its last confirmed use and offers both again. It has a fixed size, and the process's current
// folder is the same after it as before.
#pragma once

#include <QString>

#include <functional>

class QWidget;

enum class TPictureDialogKind { Open, Save };

class TPictureDialog {
public:
    explicit TPictureDialog(TPictureDialogKind kind);

    TPictureDialogKind Kind() const { return kind_; }
    const QString& Filter() const { return filter_; }
    void SetFilter(const QString& filter) { filter_ = filter; }
    int FilterIndex() const { return filterIndex_; }
    void SetFilterIndex(int index) { filterIndex_ = index; }
    const QString& FileName() const { return fileName_; }
    void SetFileName(const QString& name) { fileName_ = name; }

    // Save only: ask before replacing an existing file, and before creating a file that does not exist.
    bool OverwritePrompt = false;
    bool CreatePrompt = false;
    // Save only: the confirmed name ends in the extension of the chosen filter; it is added when the
    // typed name does not end in it already (in any case). The questions above are asked about that name.
    bool AddFilterExtension = false;

    // The extension of the filter at an index counted from 1 (".jpg" for "*.jpg"), from its first
    // pattern; empty when the pattern names no extension or there is no such filter.
    QString FilterExtension(int index) const;
    // The name a typed name stands for under the filter at an index.
    QString CompletedName(const QString& typed, int index) const;

    // Shows the dialog; true when the user confirmed a file name.
    bool Execute(QWidget* parent);

    // Tests answer the dialog instead of a person: the hook sets FileName (as typed) and FilterIndex
    // and returns whether it "confirmed". An empty function restores the real dialog.
    using Hook = std::function<bool(TPictureDialog& dialog)>;
    static void SetHook(Hook hook);

private:
    TPictureDialogKind kind_;
    QString filter_;
    int filterIndex_ = 1;
    QString fileName_;
};
