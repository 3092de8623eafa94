#include "PictureDialogs.h"

#include "RunFolder.h"

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

// A file dialog that shows the selected picture beside the file list and asks the save questions. It
// cannot be resized: its size is fixed when it is shown.
class PictureFileDialog : public QFileDialog {
public:
    PictureFileDialog(QWidget* parent, const TPictureDialog& settings, const QStringList& filters)
        : QFileDialog(parent), settings_(settings), filters_(filters), preview_(new QLabel(this)) {
        setOption(QFileDialog::DontUseNativeDialog);
        setOption(QFileDialog::ReadOnly, false);
        setOption(QFileDialog::DontConfirmOverwrite); // asked below, with the create question
        setFileMode(QFileDialog::AnyFile);
        setAcceptMode(settings.Kind() == TPictureDialogKind::Save ? QFileDialog::AcceptSave
                                                                  : QFileDialog::AcceptOpen);
        setNameFilters(filters);
        preview_->setFixedSize(180, 180);
        preview_->setAlignment(Qt::AlignCenter);
        preview_->setFrameShape(QFrame::StyledPanel);
        if (auto* grid = qobject_cast<QGridLayout*>(layout()))
            grid->addWidget(preview_, 1, grid->columnCount(), grid->rowCount() - 1, 1);
        connect(this, &QFileDialog::currentChanged, this, &PictureFileDialog::ShowPreview);
        setSizeGripEnabled(false);
        resize(780, 440);
    }

    // The confirmed file name: for saving, the name that will be written.
    const QString& Chosen() const { return chosen_; }
    int ChosenFilterIndex() const { return int(filters_.indexOf(selectedNameFilter())) + 1; }

    void accept() override {
        const QStringList typed = selectedFiles();
        if (typed.isEmpty())
            return;
        if (QFileInfo(typed.front()).isDir()) {
            QFileDialog::accept(); // opens the folder
            return;
        }
        QString name = typed.front();
        if (settings_.Kind() == TPictureDialogKind::Save) {
            if (settings_.AddFilterExtension)
                name = settings_.CompletedName(name, ChosenFilterIndex());
            const QFileInfo file(name);
            if (file.exists() && settings_.OverwritePrompt &&
                QMessageBox::warning(
                    this, windowTitle(),
                    tr("%1 already exists.\nDo you want to replace it?").arg(file.fileName()),
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
        chosen_ = name;
        QFileDialog::accept();
    }

protected:
    void showEvent(QShowEvent* event) override {
        QFileDialog::showEvent(event);
        setFixedSize(size());
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
    const QStringList filters_;
    QLabel* preview_;
    QString chosen_;
};

} // namespace

TPictureDialog::TPictureDialog(TPictureDialogKind kind) : kind_(kind) {}

QString TPictureDialog::FilterExtension(int index) const {
    const QStringList parts = filter_.split(QLatin1Char('|'));
    if (index < 1 || 2 * index - 1 >= parts.size())
        return {};
    // The first pattern of the pair: "*.jpg;*.jpeg" gives ".jpg".
    const QString pattern = parts[2 * index - 1].section(QLatin1Char(';'), 0, 0).trimmed();
    if (!pattern.startsWith(QLatin1String("*.")))
        return {};
    const QString extension = pattern.mid(1);
    if (extension.size() < 2 || extension.contains(QLatin1Char('*')) || extension.contains(QLatin1Char('?')))
        return {};
    return extension;
}

QString TPictureDialog::CompletedName(const QString& typed, int index) const {
    const QString extension = FilterExtension(index);
    if (extension.isEmpty() || typed.endsWith(extension, Qt::CaseInsensitive))
        return typed;
    return typed + extension;
}

bool TPictureDialog::Execute(QWidget* parent) {
    RunFolder::KeepQtStateInRun();
    if (TheHook()) {
        if (!TheHook()(*this))
            return false;
        if (kind_ == TPictureDialogKind::Save && AddFilterExtension)
            fileName_ = CompletedName(fileName_, filterIndex_);
        return true;
    }
    const QStringList filters = NameFilters(filter_);
    PictureFileDialog dialog(parent, *this, filters);
    if (filterIndex_ >= 1 && filterIndex_ <= filters.size())
        dialog.selectNameFilter(filters[filterIndex_ - 1]);
    if (!fileName_.isEmpty()) {
        const QFileInfo last(fileName_);
        dialog.setDirectory(last.absolutePath());
        dialog.selectFile(last.fileName());
    }
    // The dialog must not move the process's current folder: files are looked up relative to it.
    const QString current = QDir::currentPath();
    const bool confirmed = dialog.exec() == QDialog::Accepted && !dialog.Chosen().isEmpty();
    QDir::setCurrent(current);
    if (!confirmed)
        return false;
    fileName_ = QDir::toNativeSeparators(dialog.Chosen());
    filterIndex_ = dialog.ChosenFilterIndex();
    return true;
}

void TPictureDialog::SetHook(Hook hook) {
    TheHook() = std::move(hook);
}
