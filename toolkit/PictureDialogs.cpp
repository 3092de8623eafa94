#include "PictureDialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>

namespace {

TPictureDialog::Hook& TheHook() {
    static TPictureDialog::Hook hook;
    return hook;
}

// "Text (*.x)|*.x|..." as Qt's name filters "Text (*.x)", one per pair.
QStringList NameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString text = parts[i];
        // Qt reads the patterns from the text's parentheses; make sure they are the pair's patterns.
        if (!text.contains(QLatin1Char('(')))
            text += QStringLiteral(" (") + QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')) +
                    QLatin1Char(')');
        filters << text;
    }
    return filters;
}

// A file dialog that shows the selected picture beside the file list and asks the save questions.
class PictureFileDialog : public QFileDialog {
public:
    PictureFileDialog(QWidget* parent, const TPictureDialog& settings)
        : QFileDialog(parent), settings_(settings), preview_(new QLabel(this)) {
        setOption(QFileDialog::DontUseNativeDialog);
        setOption(QFileDialog::ReadOnly, false);
        setOption(QFileDialog::DontConfirmOverwrite); // asked below, with the create question
        setFileMode(QFileDialog::AnyFile);
        setAcceptMode(settings.Kind() == TPictureDialogKind::Save ? QFileDialog::AcceptSave
                                                                  : QFileDialog::AcceptOpen);
        preview_->setFixedSize(180, 180);
        preview_->setAlignment(Qt::AlignCenter);
        preview_->setFrameShape(QFrame::StyledPanel);
        if (auto* grid = qobject_cast<QGridLayout*>(layout()))
            grid->addWidget(preview_, 1, grid->columnCount(), grid->rowCount() - 1, 1);
        connect(this, &QFileDialog::currentChanged, this, &PictureFileDialog::ShowPreview);
        setSizeGripEnabled(false);
    }

    void accept() override {
        const QStringList chosen = selectedFiles();
        if (chosen.isEmpty())
            return;
        const QFileInfo file(chosen.front());
        if (file.isDir()) {
            QFileDialog::accept(); // opens the folder
            return;
        }
        if (settings_.Kind() == TPictureDialogKind::Save) {
            if (file.exists() && settings_.OverwritePrompt &&
                QMessageBox::warning(this, windowTitle(),
                                     QCoreApplication::translate(
                                         "QFileDialog", "%1 already exists.\nDo you want to replace it?")
                                         .arg(file.fileName()),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
                return;
            if (!file.exists() && settings_.CreatePrompt &&
                QMessageBox::question(
                    this, windowTitle(),
                    QCoreApplication::translate("TPictureDialog",
                                                "%1\nThis file does not exist.\nDo you want to create it?")
                        .arg(file.fileName()),
                    QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) != QMessageBox::Yes)
                return;
        }
        QFileDialog::accept();
    }

private:
    void ShowPreview(const QString& path) {
        QImageReader reader(path);
        const QSize size = reader.size();
        if (!QFileInfo(path).isFile() || !size.isValid()) {
            preview_->clear();
            return;
        }
        reader.setScaledSize(size.scaled(preview_->size() - QSize(8, 8), Qt::KeepAspectRatio));
        const QImage picture = reader.read();
        preview_->setPixmap(picture.isNull() ? QPixmap() : QPixmap::fromImage(picture));
    }

    const TPictureDialog& settings_;
    QLabel* preview_;
};

} // namespace

TPictureDialog::TPictureDialog(TPictureDialogKind kind) : kind_(kind) {}

bool TPictureDialog::Execute(QWidget* parent) {
    if (TheHook())
        return TheHook()(*this);
    PictureFileDialog dialog(parent, *this);
    const QStringList filters = NameFilters(filter_);
    dialog.setNameFilters(filters);
    if (filterIndex_ >= 1 && filterIndex_ <= filters.size())
        dialog.selectNameFilter(filters[filterIndex_ - 1]);
    if (!fileName_.isEmpty()) {
        const QFileInfo last(fileName_);
        dialog.setDirectory(last.absolutePath());
        dialog.selectFile(last.fileName());
    }
    // The dialog must not move the process's current folder: files are looked up relative to it.
    const QString current = QDir::currentPath();
    const bool confirmed = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    QDir::setCurrent(current);
    if (!confirmed)
        return false;
    fileName_ = QDir::toNativeSeparators(dialog.selectedFiles().front());
    filterIndex_ = int(filters.indexOf(dialog.selectedNameFilter())) + 1;
    return true;
}

void TPictureDialog::SetHook(Hook hook) {
    TheHook() = std::move(hook);
}
