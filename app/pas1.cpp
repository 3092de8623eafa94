// What the window does: its handlers for the correction controls, printing, files, scanning and the
// ring of the last pages.
#include "pas1.h"

#include "ui_pas1.h"

#include "Bitmap.h"
#include "Canvas.h"
#include "Dialogs.h"
#include "Exceptions.h"
#include "GreyPage.h"
#include "JpegImage.h"
#include "Picture.h"
#include "Printer.h"
#include "RowParts.h"
#include "Shell.h"
#include "TwainManager.h"

#include "DurableFile.h"

#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <exception>
#include <thread>

const char* const TForm1::AuthorPage = "https://zorkopis.example.org/";

const std::chrono::milliseconds TForm1::kBusyBurstGap{250};
const std::chrono::milliseconds TForm1::kBusySaveDelay{500};

// ---------------------------------------------------------------------------------------------------
// Handlers

void TForm1::FormCreate(QObject*) {
    MessageDlg(QStringLiteral("Внимание! В этой версии программы необходимо устанавливать границы области "
                              "сканирования на полный размер листа формата А4! Иначе пропорции копии будут "
                              "искажены!"),
               TMsgDlgType::mtWarning);
    // The working folder; whether it could be made is not checked.
    const QString folder = QDir::home().filePath(QStringLiteral("ZRK"));
    if (!QDir(folder).exists())
        QDir().mkdir(folder);
    // What a save killed in an earlier run left there.
    durable::RemoveLeftovers(folder);
    ui_->Image1->Picture()->Assign(ui_->OrImage1->PictureResult());
    RingSlot(0)->Picture()->Assign(ui_->OrImage1->PictureResult());
}

void TForm1::FormMouseMove(QObject*, Qt::KeyboardModifiers, int, int) {
    ui_->CheckBox1->setVisible(false);
    QFont font = ui_->Label7->font();
    font.setUnderline(false);
    ui_->Label7->setFont(font);
    unsetCursor();
}

void TForm1::Image1MouseMove(QObject*, Qt::KeyboardModifiers, int, int) {
    ui_->CheckBox1->setVisible(true);
}

void TForm1::CheckBox1MouseUp(QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
    ui_->Image1->SetProportional(ui_->CheckBox1->isChecked());
}

void TForm1::Label7MouseMove(QObject*, Qt::KeyboardModifiers, int, int) {
    QFont font = ui_->Label7->font();
    font.setUnderline(true);
    ui_->Label7->setFont(font);
    setCursor(Qt::PointingHandCursor);
}

void TForm1::Label7Click(QObject*) {
    ShellOpen(QString::fromLatin1(AuthorPage));
}

void TForm1::BitBtn4Click(QObject*) {
    ShellOpen(QStringLiteral("zrk.hlp"));
}

// ---------------------------------------------------------------------------------------------------
// Correction controls

namespace {

// A value label grows with its text from its left edge, so "-100" is as readable as "0".
void SetAutoSizedText(QLabel* label, const QString& text) {
    label->setText(text);
    label->resize(label->sizeHint().width(), label->height());
}

// Track bar positions of the presets, in list order: brightness, contrast.
constexpr int PresetPositions[7][2] = {{10, 5}, {12, 3}, {12, 2}, {11, 1}, {9, 6}, {8, 7}, {7, 9}};

} // namespace

void TForm1::ComboBox2Change(QObject*) {
    ui_->OrImage1->SetPicGrayScale(ui_->ComboBox2->ItemIndex() == 0);
    ui_->Image1->Picture()->Assign(ui_->OrImage1->PictureResult());
}

void TForm1::StartBusyAnimation() {
    if (!QFileInfo::exists(QStringLiteral("p_bar.avi")))
        return;
    TAnimate& animation = *ui_->Animate1;
    animation.setVisible(true);
    // A change that follows the last one closely (a drag of a track bar) goes on with the animation
    // where it was, so that it moves through a drag rather than starting over at every step.
    const auto now = std::chrono::steady_clock::now();
    if (!busyEnded_ || now - *busyEnded_ > kBusyBurstGap)
        busyStarted_ = now;
    animation.Play(1, 19, 0, busyStarted_); // a file that does not play ends the handler here, still visible
    BusyAnimating = 1;
    animation.repaint(); // shown at once: the rebuild that follows holds up the event loop
    // While the rebuild's threads work, this thread moves the animation on and paints it, and nothing
    // else: no event is handled before the handler ends.
    busyTicker_ = std::make_unique<TWaitTicker>(std::chrono::milliseconds(animation.Interval()),
                                                [&animation] { animation.CatchUp(); });
}

void TForm1::StopBusyAnimation() {
    if (BusyAnimating != 1)
        return;
    busyTicker_.reset();
    ui_->Animate1->Stop();
    ui_->Animate1->setVisible(false);
    BusyAnimating = 0;
    busyEnded_ = std::chrono::steady_clock::now();
}

namespace {
// Stops the busy animation when a handler ends, also when it ends with an error.
struct BusyAnimationScope {
    TForm1& form;
    void (TForm1::*stop)();
    ~BusyAnimationScope() { (form.*stop)(); }
};
} // namespace

void TForm1::TrackBar1Change(QObject*) {
    StartBusyAnimation();
    const BusyAnimationScope busy{*this, &TForm1::StopBusyAnimation};
    const int step = ui_->TrackBar1->Position() - 10;
    ui_->OrImage1->SetPicBrightness(step * 25);
    SetAutoSizedText(ui_->Label5, QString::number(step * 10));
    ui_->Image1->Picture()->Assign(ui_->OrImage1->PictureResult());
}

void TForm1::TrackBar2Change(QObject*) {
    StartBusyAnimation();
    const BusyAnimationScope busy{*this, &TForm1::StopBusyAnimation};
    const int step = ui_->TrackBar2->Position() - 5;
    ui_->OrImage1->SetPicContrast(step * 50);
    SetAutoSizedText(ui_->Label6, QString::number(step * 10));
    ui_->Image1->Picture()->Assign(ui_->OrImage1->PictureResult());
}

void TForm1::ComboBox1Change(QObject*) {
    Ui::TForm1& c = *ui_;
    const int preset = c.ComboBox1->ItemIndex();
    const bool manual = preset == 0;
    c.TrackBar1->setEnabled(manual);
    c.TrackBar2->setEnabled(manual);
    if (preset < 0 || preset > 6)
        return;
    // Each bar that moves applies itself through its own change handler.
    c.TrackBar1->SetPosition(PresetPositions[preset][0]);
    c.TrackBar2->SetPosition(PresetPositions[preset][1]);
}

void TForm1::UpDown1ChangingEx(QObject*, bool& allowChange, short newValue, TUpDownDirection) {
    allowChange = true;
    if (newValue != -1)
        ui_->ComboBox1->SetItemIndex(newValue);
    ComboBox1Change(ui_->ComboBox1);
}

void TForm1::BitBtn3Click(QObject*) {
    Ui::TForm1& c = *ui_;
    c.ComboBox1->SetItemIndex(0);
    c.TrackBar1->setEnabled(true);
    c.TrackBar2->setEnabled(true);
    c.TrackBar1->SetPosition(10);
    c.OrImage1->SetPicBrightness(0);
    SetAutoSizedText(c.Label5, QStringLiteral("0"));
    c.TrackBar2->SetPosition(5);
    c.OrImage1->SetPicContrast(0);
    SetAutoSizedText(c.Label6, QStringLiteral("0"));
}

// ---------------------------------------------------------------------------------------------------
// Printing

void TForm1::BitBtn5Click(QObject*) {
    // The whole working picture is stretched over the whole printable area; its proportions are not
    // kept.
    TCanvas& picture = ui_->OrImage1->Canvas();
    const TRect source = Rect(0, 0, picture.Bitmap()->Width(), picture.Bitmap()->Height());
    TPrinter& printer = Printer();
    const TRect page = Rect(0, 0, printer.PageWidth(), printer.PageHeight());
    printer.SetTitle(QString());
    printer.BeginDoc();
    try {
        // The copies of the set-up: in the job's count, or drawn here where the printer makes none.
        for (int copy = 0; copy < printer.CopiesToDraw(); ++copy) {
            if (copy > 0) {
                printer.NewPage();
                // Printed on both sides, each copy takes a sheet of its own.
                if (printer.TwoSided())
                    printer.NewPage();
            }
            printer.Canvas().CopyRect(page, picture, source);
        }
    } catch (...) {
        // A page that could not be drawn is not sent, and the printer is free for the next try.
        printer.Abort();
        throw;
    }
    printer.EndDoc();
}

void TForm1::N1Click(QObject*) {
    Printer().ExecuteSetupDialog(this);
}

document::TPages TForm1::RingPages() const {
    document::TPages pages;
    const int stored = RingWrapped ? 10 : RingWrite;
    // Once the ring has gone round, the slot to be written next holds the oldest page.
    const int oldest = RingWrapped ? RingWrite : 0;
    for (int i = 0; i < stored; ++i)
        if (const TBitmap* page = RingSlot((oldest + i) % 10)->Picture()->Bitmap(); page && !page->Empty())
            pages.push_back(page);
    return pages;
}

void TForm1::N2Click(QObject*) {
    const document::TPages pages = RingPages();
    if (pages.size() < 2)
        return;
    document::PrintPages(Printer(), pages);
}

void TForm1::N3Click(QObject*) {
    const document::TPages pages = RingPages();
    if (pages.empty() || !savePdfDialog_.Execute(this))
        return;
    SavePdfWhileTheWindowGoesOn(savePdfDialog_.FileName(), pages);
}

void TForm1::SavePdfWhileTheWindowGoesOn(const QString& name, const document::TPages& pages) {
    // The writer reads copies (their pixels shared until someone writes), so a page that arrives in the
    // ring meanwhile changes nothing it reads.
    std::vector<std::shared_ptr<TBitmap>> copies;
    for (const TBitmap* page : pages) {
        copies.push_back(std::make_shared<TBitmap>());
        copies.back()->Assign(page);
    }
    SaveWhileTheWindowGoesOn([copies, name] {
        document::TPages held;
        for (const auto& page : copies)
            held.push_back(page.get());
        document::SavePdf(name, held);
    });
}

// ---------------------------------------------------------------------------------------------------
// Files

namespace {

// The working picture as it is to be saved. An empty one would replace the file by nothing.
const TBitmap& PictureToSave(const TPicture& result) {
    const TBitmap* bitmap = result.Bitmap();
    if (!bitmap || bitmap->Empty())
        throw Exception(QStringLiteral("Нечего сохранять: изображение пустое"));
    return *bitmap;
}

} // namespace

void TForm1::BitBtn6Click(QObject*) {
    if (!savePictureDialog1_.Execute(this))
        return;
    const TPicture& result = *ui_->OrImage1->PictureResult();
    // The dialog's name already ends in the chosen type's extension, and it asked about that name.
    const QString name = savePictureDialog1_.FileName();
    switch (savePictureDialog1_.FilterIndex()) {
    case 1: {
        auto jpeg = std::make_shared<TJPEGImage>();
        jpeg->SetCompressionQuality(100);
        jpeg->Assign(&PictureToSave(result));
        // Compressed straight into the file, which is written while the stream is being made.
        SaveWhileTheWindowGoesOn([jpeg, name] { jpeg->SaveToFile(name); });
        break;
    }
    case 2: {
        auto bitmap = std::make_shared<TBitmap>();
        bitmap->Assign(&PictureToSave(result));
        SaveWhileTheWindowGoesOn([bitmap, name] { bitmap->SaveToFile(name); });
        break;
    }
    case 3:
        SavePdfWhileTheWindowGoesOn(name, {&PictureToSave(result)});
        break;
    default:
        break;
    }
}

void TForm1::SaveWhileTheWindowGoesOn(std::function<void()> save) {
    // What the writer leaves for this thread; it outlives the handler should the writer outlive it.
    struct TOutcome {
        std::atomic<bool> done{false};
        std::exception_ptr error;
    };
    auto outcome = std::make_shared<TOutcome>();
    QEventLoop wait;
    const QPointer<QEventLoop> waiting(&wait);
    // A device may take its time or never answer: the writer is a thread of its own that nobody joins.
    std::thread([outcome, waiting, save = std::move(save)] {
        try {
            save();
        } catch (...) {
            outcome->error = std::current_exception();
        }
        outcome->done = true;
        QMetaObject::invokeMethod(
            qApp,
            [waiting] {
                if (waiting)
                    waiting->quit();
            },
            Qt::QueuedConnection);
    }).detach();

    // Meanwhile the window repaints, its timers run and, once the save has lasted a moment, the busy
    // animation plays (a save that is over sooner shows nothing, rather than a flash); what the user
    // does is held until the save has ended, and so is a request to close the window.
    QTimer::singleShot(kBusySaveDelay, &wait, [this] {
        try {
            StartBusyAnimation();
        } catch (const Exception&) {
            // An animation that does not play does not stop a save.
        }
    });
    const BusyAnimationScope busy{*this, &TForm1::StopBusyAnimation};
    saving_ = true;
    if (!outcome->done)
        wait.exec(QEventLoop::ExcludeUserInputEvents);
    saving_ = false;
    if (closeWanted_)
        QTimer::singleShot(0, this, &QWidget::close);
    if (outcome->error)
        std::rethrow_exception(outcome->error);
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (saving_) {
        closeWanted_ = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TForm1::BitBtn7Click(QObject*) {
    if (!openPictureDialog1_.Execute(this))
        return;
    TOrImage& image = *ui_->OrImage1;
    const int filter = openPictureDialog1_.FilterIndex();
    if (filter == 1 || filter == 2) {
        TJPEGImage jpeg;
        jpeg.LoadFromFile(openPictureDialog1_.FileName());
        image.PictureOriginal()->Assign(&jpeg);
    } else if (filter == 3) {
        TBitmap bitmap;
        bitmap.LoadFromFile(openPictureDialog1_.FileName());
        image.PictureOriginal()->Assign(&bitmap);
    }
    ui_->Image1->Picture()->Assign(image.PictureResult());
}

// ---------------------------------------------------------------------------------------------------
// Scanning and the page ring

void TForm1::ResetAutoSize() {
    // From now on the image control takes the size of each new picture, which printing relies on.
    TOrImage& image = *ui_->OrImage1;
    image.SetAutoSize(false);
    image.SetWidth(10);
    image.SetHeight(10);
    image.SetAutoSize(true);
}

namespace {

// Files a copy of a page in a ring slot. A page whose pixels are all grey (every delivered page is
// black-and-white) is kept as an 8-bit grey bitmap, a third of the memory, that reads and draws the
// same; the page the slot held before is let go first.
void FilePage(TImage& slot, const TPicture& page) {
    slot.Picture()->Assign(static_cast<const TGraphic*>(nullptr));
    if (const TBitmap* bitmap = page.Bitmap())
        if (std::unique_ptr<TBitmap> grey = GreyPageOf(*bitmap)) {
            grey->SetTransparent(bitmap->Transparent());
            slot.Picture()->Adopt(std::move(grey));
            return;
        }
    slot.Picture()->Assign(&page);
}

} // namespace

void TForm1::BitBtn1Click(QObject*) {
    TTwainManager& twain = *twain1_;
    twain.SetLibraryLoaded(true);
    twain.SetSourceManagerLoaded(true);
    SourceIndex = twain.ChooseSource();
    if (SourceIndex != -1) {
        ActiveSource = twain.SourceAt(SourceIndex);
        if (ActiveSource) {
            ActiveSource->SetLoaded(true);
            ActiveSource->SetEnabled(true);
        }
    }
    ResetAutoSize();
    RingWrite = 0;
    RingLast = 0;
    RingWrapped = 0;
    RingBrowse = 0;
    ui_->Image1->Picture()->Assign(static_cast<const TGraphic*>(nullptr));
    for (TImage* slot : ring_)
        slot->Picture()->Assign(static_cast<const TGraphic*>(nullptr));
}

void TForm1::BitBtn2Click(QObject*) {
    ActiveSource = twain1_->SourceAt(SourceIndex);
    if (!ActiveSource) {
        // Possible only when the source manager lists no scanner at all.
        MessageDlg(QStringLiteral("Сканер не найден. Нажмите «Выбор сканера» и выберите сканер; если список "
                                  "пуст, проверьте, что сканер включён и подключён."),
                   TMsgDlgType::mtInformation);
        return;
    }
    ActiveSource->SetLoaded(true);
    ActiveSource->SetEnabled(true);
    ResetAutoSize();
}

void TForm1::Twain1TwainAcquire(TObject*, int, TBitmap* image, bool& cancel) {
    Ui::TForm1& c = *ui_;
    c.Image1->SetProportional(c.CheckBox1->isChecked());
    c.OrImage1->PictureOriginal()->Assign(static_cast<const TGraphic*>(nullptr));
    c.ComboBox2->SetItemIndex(0);
    c.OrImage1->SetPicGrayScale(true);
    c.OrImage1->PictureOriginal()->Assign(image);
    cancel = true;
    c.Image1->Picture()->Assign(c.OrImage1->PictureResult());
    if (ActiveSource) {
        ActiveSource->SetEnabled(false);
        ActiveSource->SetLoaded(false);
    }
    c.BitBtn2->setEnabled(true);
    FilePage(*RingSlot(RingWrite), *c.OrImage1->PictureResult());
    if (RingWrapped == 0) {
        if (RingWrite >= 9) {
            RingLast = 9;
            RingWrite = 0;
            RingWrapped = 1;
        } else {
            RingLast = RingWrite;
            RingWrite = RingWrite + 1;
        }
    } else {
        RingWrite = RingWrite >= 9 ? 0 : RingWrite + 1;
    }
}

// Each press shows the slot the previous press announced; the counter announces the next one.
void TForm1::BitBtn9Click(QObject*) {
    ui_->Image1->Picture()->Assign(RingSlot(RingBrowse)->Picture());
    RingBrowse = RingBrowse < RingLast ? RingBrowse + 1 : 0;
    ui_->StaticText1->setText(QString::number(RingBrowse + 1));
}

void TForm1::BitBtn8Click(QObject*) {
    ui_->Image1->Picture()->Assign(RingSlot(RingBrowse)->Picture());
    RingBrowse = RingBrowse <= 0 ? RingLast : RingBrowse - 1;
    ui_->StaticText1->setText(QString::number(RingBrowse + 1));
}

void TForm1::SetCounterColour(const QColor& colour) {
    QPalette palette = ui_->StaticText1->palette();
    palette.setColor(QPalette::WindowText, colour);
    ui_->StaticText1->setPalette(palette);
}

void TForm1::BitBtn8MouseDown(QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
    SetCounterColour(QColor(255, 0, 0));
}

void TForm1::BitBtn9MouseDown(QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
    SetCounterColour(QColor(255, 0, 0));
}

void TForm1::BitBtn8MouseUp(QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
    SetCounterColour(QColor(0, 0, 0));
}

void TForm1::BitBtn9MouseUp(QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
    SetCounterColour(QColor(0, 0, 0));
}
