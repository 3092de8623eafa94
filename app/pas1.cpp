#include "pas1.h"

#include "ui_pas1.h"

#include "Application.h"
#include "Bitmap.h"
#include "Canvas.h"
#include "Dialogs.h"
#include "GreyPage.h"
#include "JpegImage.h"
#include "Picture.h"
#include "Printer.h"
#include "RowParts.h"
#include "Shell.h"
#include "TwainManager.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QStyle>

#include <cstring>

// The pictures and glyphs compiled into the window's library (Qt's resource initialiser must be
// called from the global namespace).
static void LoadResources() {
    Q_INIT_RESOURCE(resources);
}

const char* const TForm1::AuthorPage = "https://zorkopis.example.org/";

namespace {

// Runs a handler under the application's error guard.
template <class F> auto Guarded(F handler) {
    return [handler](auto&&... args) { Application::Guard([&] { handler(args...); }); };
}

QIcon Glyph(const char* name) {
    return QIcon(QStringLiteral(":/glyphs/%1.png").arg(QLatin1String(name)));
}

} // namespace

TForm1::TForm1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      ui_(std::make_unique<Ui::TForm1>()) {
    LoadResources();
    ui_->setupUi(this);
    ring_ = {ui_->Image3,  ui_->Image6,  ui_->Image7,  ui_->Image8,  ui_->Image9,
             ui_->Image10, ui_->Image11, ui_->Image12, ui_->Image13, ui_->Image14};
    twain1_ = std::make_unique<TTwainManager>();
    LoadStoredLayout();
    ConnectHandlers();
    ConnectKeyboard();
    Application::Guard([this] { FormCreate(this); });
}

QIcon TForm1::ProgramIcon() {
    LoadResources();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/zrk201-%1.png").arg(size), QSize(size, size));
    return icon;
}

TForm1::~TForm1() = default;

const std::chrono::milliseconds TForm1::kBusyBurstGap{250};

// The window's stored properties, written through their setters in the stored order.
void TForm1::LoadStoredLayout() {
    Ui::TForm1& c = *ui_;
    move(184, 0);
    // The layout is fixed: the window keeps its size, so window managers offer no maximise button
    // and no resizing that would only show empty window beside the controls.
    setFixedSize(size());
    setAutoFillBackground(true);
    setWindowIcon(ProgramIcon());

    // The image control: centred, not auto-sized, the sample picture, every adjustment 0 or off.
    TOrImage& image = *c.OrImage1;
    image.SetAutoSize(false);
    image.SetCenter(true);
    Application::Guard([&image] {
        TBitmap sample;
        sample.LoadFromFile(QStringLiteral(":/sample.bmp"));
        TPicture stored;
        stored.Assign(&sample);
        image.SetPictureOriginal(&stored);
    });
    image.SetPicBrightness(0);
    image.SetPicContrast(0);
    image.SetPicGrayScale(false);
    image.SetPicLightness(0);
    image.SetPicDarkness(0);
    image.SetPicSaturation(0);
    image.SetPicSplitlight(0);
    image.SetPicInvert(false);
    image.SetPicColorNoise(0);
    image.SetPicMonoNoise(0);
    image.SetPicPosterize(0);
    image.SetPicSolorize(0);
    image.SetPicEmboss(false);
    image.SetPicMosaic(0);
    image.SetPicSplitBlur(0);
    image.SetPicGaussianBlur(0);
    image.SetPicAntiAlias(0);
    image.SetPicTrace(0);
    image.SetPicTile(0);

    // The TWAIN component: memory transfers, and the program's identity.
    TTwainManager& twain = *twain1_;
    twain.SetTransferMode(ttmMemory);
    TTwainIdentity& info = twain.Info();
    info.SetMajorVersion(1);
    info.SetMinorVersion(0);
    info.SetLanguage(tlUserLocale);
    info.SetCountryCode(1);
    info.SetGroups({tgControl, tgImage});
    info.SetVersionInfo(QStringLiteral("Application name"));
    info.SetManufacturer(QStringLiteral("Application manufacturer"));
    info.SetProductFamily(QStringLiteral("App product family"));
    info.SetProductName(QStringLiteral("App product name"));

    // The credit line: fuchsia, no style.
    QPalette credit = c.Label7->palette();
    credit.setColor(QPalette::WindowText, QColor(255, 0, 255));
    c.Label7->setPalette(credit);

    // The view and the ring slots.
    c.Image1->SetCenter(true);
    c.Image1->SetProportional(true);
    c.Image1->SetStretch(false);
    for (TImage* slot : ring_)
        slot->SetAutoSize(true);

    // Step pictures and glyphs.
    // The step pictures are drawn over the window's colour, as opaque bitmaps.
    for (auto [step, file] : {std::pair{c.Image2, "step1"}, {c.Image4, "step2"}, {c.Image5, "step3"}}) {
        const QImage png(QStringLiteral(":/%1.png").arg(QLatin1String(file)));
        QImage opaque(png.size(), QImage::Format_BGR888);
        opaque.fill(palette().color(QPalette::Window));
        QPainter(&opaque).drawImage(0, 0, png);
        TBitmap picture;
        picture.SetSize(opaque.width(), opaque.height());
        for (int y = 0; y < opaque.height(); ++y)
            std::memcpy(picture.ScanLine(y), opaque.constScanLine(y), std::size_t(3 * opaque.width()));
        step->Picture()->Assign(&picture);
    }
    c.BitBtn1->setIcon(Glyph("scanner"));
    c.BitBtn2->setIcon(Glyph("next"));
    c.BitBtn4->setIcon(Glyph("help"));
    c.BitBtn8->setIcon(Glyph("left"));
    c.BitBtn9->setIcon(Glyph("right"));
    c.BitBtn6->setIcon(Glyph("save"));
    const QIcon no = style()->standardIcon(QStyle::SP_DialogNoButton);
    c.BitBtn3->setIcon(no.isNull() ? Glyph("no") : no);

    // The fill check box is white and lies over the view.
    // (A check box fills with its button colour unless told to use the window colour.)
    QPalette white = c.CheckBox1->palette();
    white.setColor(QPalette::Window, Qt::white);
    c.CheckBox1->setPalette(white);
    c.CheckBox1->setBackgroundRole(QPalette::Window);
    c.CheckBox1->setAutoFillBackground(true);
    c.CheckBox1->raise();

    // The mode box does not complete typed text; the preset box does.
    c.ComboBox2->SetAutoComplete(false);
    c.ComboBox2->SetItemIndex(1);
    c.ComboBox1->SetAutoComplete(true);
    c.ComboBox1->SetItemIndex(0);
    c.UpDown1->SetMin(0);
    c.UpDown1->SetMax(5);
    c.UpDown1->SetPosition(0);
    c.UpDown1->SetWrap(false);

    // The busy animation strip under the view, and the context menu of "Печать".
    popupMenu1_ = new QMenu(this);
    popupMenu1_->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* n1 = popupMenu1_->addAction(QStringLiteral("Настройка печати"));
    n1->setObjectName(QStringLiteral("N1"));
    connect(c.BitBtn5, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { popupMenu1_->popup(ui_->BitBtn5->mapToGlobal(at)); });

    // The busy animation: "p_bar.avi" from the current folder, frames 1 to 19, fixed size.
    c.Animate1->SetAutoSize(false);
    c.Animate1->SetCenter(false);
    c.Animate1->SetFileName(QStringLiteral("p_bar.avi"));
    c.Animate1->SetStopFrame(19);

    // The file dialogs.
    openPictureDialog1_.SetFilter(QStringLiteral(
        "JPEG Image File (*.jpg)|*.jpg|JPEG Image File (*.jpeg)|*.jpeg|Bitmaps (*.bmp)|*.bmp"));
    savePictureDialog1_.SetFilter(QStringLiteral("JPEG Image File (*.jpg)|*.jpg|Bitmaps (*.bmp)|*.bmp"));
    savePictureDialog1_.OverwritePrompt = true;
    savePictureDialog1_.CreatePrompt = true;
    savePictureDialog1_.AddFilterExtension = true;

    c.BitBtn4->setFocus();
}

// A click on the button runs the handler under the error guard, with the button as sender.
void TForm1::ConnectClick(QAbstractButton* button, void (TForm1::*handler)(QObject*)) {
    connect(button, &QAbstractButton::clicked, this,
            [this, button, handler] { Application::Guard([&] { (this->*handler)(button); }); });
}

void TForm1::ConnectHandlers() {
    Ui::TForm1& c = *ui_;
    c.Image1->OnMouseMove = Guarded(
        [this](TObject*, Qt::KeyboardModifiers k, int x, int y) { Image1MouseMove(ui_->Image1, k, x, y); });
    ConnectClick(c.BitBtn4, &TForm1::BitBtn4Click);
    c.ComboBox2->OnChange = Guarded([this](TObject*) { ComboBox2Change(ui_->ComboBox2); });
    c.ComboBox1->OnChange = Guarded([this](TObject*) { ComboBox1Change(ui_->ComboBox1); });
    c.TrackBar1->OnChange = Guarded([this](TObject*) { TrackBar1Change(ui_->TrackBar1); });
    c.TrackBar2->OnChange = Guarded([this](TObject*) { TrackBar2Change(ui_->TrackBar2); });
    c.UpDown1->OnChangingEx = Guarded([this](TObject*, bool& allow, short value, TUpDownDirection direction) {
        UpDown1ChangingEx(ui_->UpDown1, allow, value, direction);
    });
    ConnectClick(c.BitBtn3, &TForm1::BitBtn3Click);
    ConnectClick(c.BitBtn1, &TForm1::BitBtn1Click);
    ConnectClick(c.BitBtn2, &TForm1::BitBtn2Click);
    ConnectClick(c.BitBtn8, &TForm1::BitBtn8Click);
    ConnectClick(c.BitBtn9, &TForm1::BitBtn9Click);
    c.BitBtn8->installEventFilter(this);
    c.BitBtn9->installEventFilter(this);
    twain1_->OnTwainAcquire = Guarded([this](TObject* sender, int index, TBitmap* image, bool& cancel) {
        Twain1TwainAcquire(sender, index, image, cancel);
    });
    ConnectClick(c.BitBtn6, &TForm1::BitBtn6Click);
    ConnectClick(c.BitBtn7, &TForm1::BitBtn7Click);
    ConnectClick(c.BitBtn5, &TForm1::BitBtn5Click);
    connect(popupMenu1_->actions().value(0), &QAction::triggered, this,
            [this] { Application::Guard([this] { N1Click(popupMenu1_); }); });
    c.Label7->setMouseTracking(true);
    c.Label7->installEventFilter(this);
    c.ComboBox1->installEventFilter(this);
    c.ComboBox2->installEventFilter(this);
    c.CheckBox1->installEventFilter(this);
}

void TForm1::ConnectKeyboard() {
    Ui::TForm1& c = *ui_;
    // Each key does what a click on its button does, and nothing while the button is disabled.
    const std::pair<QKeySequence, QAbstractButton*> keys[] = {
        {QKeySequence(Qt::Key_F1), c.BitBtn4},
        {QKeySequence(Qt::CTRL | Qt::Key_O), c.BitBtn7},
        {QKeySequence(Qt::CTRL | Qt::Key_S), c.BitBtn6},
        {QKeySequence(Qt::CTRL | Qt::Key_P), c.BitBtn5},
    };
    for (const auto& [key, button] : keys) {
        auto* shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, button, [button = button] {
            if (button->isEnabled())
                button->click();
        });
        button->setAccessibleDescription(key.toString(QKeySequence::NativeText));
    }
    // What a screen reader says for the buttons that show only a glyph.
    c.BitBtn4->setAccessibleName(QStringLiteral("Справка"));
    c.BitBtn8->setAccessibleName(QStringLiteral("Предыдущая страница"));
    c.BitBtn9->setAccessibleName(QStringLiteral("Следующая страница"));
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    Ui::TForm1& c = *ui_;
    if (watched == c.Label7) {
        if (event->type() == QEvent::MouseMove) {
            auto* e = static_cast<QMouseEvent*>(event);
            Application::Guard([&] {
                Label7MouseMove(this, e->modifiers(), int(e->position().x()), int(e->position().y()));
            });
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() == Qt::LeftButton && c.Label7->rect().contains(e->position().toPoint()))
                Application::Guard([&] { Label7Click(this); });
        }
    } else if ((watched == c.BitBtn8 || watched == c.BitBtn9) &&
               (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease)) {
        auto* e = static_cast<QMouseEvent*>(event);
        const bool left = watched == c.BitBtn8, press = event->type() == QEvent::MouseButtonPress;
        const int x = int(e->position().x()), y = int(e->position().y());
        Application::Guard([&] {
            if (left && press)
                BitBtn8MouseDown(watched, e->button(), e->modifiers(), x, y);
            else if (left)
                BitBtn8MouseUp(watched, e->button(), e->modifiers(), x, y);
            else if (press)
                BitBtn9MouseDown(watched, e->button(), e->modifiers(), x, y);
            else
                BitBtn9MouseUp(watched, e->button(), e->modifiers(), x, y);
        });
    } else if ((watched == c.ComboBox1 || watched == c.ComboBox2) && event->type() == QEvent::KeyPress) {
        auto* box = static_cast<QComboBox*>(watched);
        if (!box->view()->isVisible() && PressDefaultButton(static_cast<QKeyEvent*>(event)))
            return true;
    } else if (watched == c.CheckBox1 && event->type() == QEvent::MouseButtonRelease) {
        // The box toggles on the release first; the handler then sees the new state.
        auto* e = static_cast<QMouseEvent*>(event);
        const bool handled = static_cast<QObject*>(c.CheckBox1)->event(event);
        Application::Guard([&] {
            CheckBox1MouseUp(c.CheckBox1, e->button(), e->modifiers(), int(e->position().x()),
                             int(e->position().y()));
        });
        return handled;
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::mouseMoveEvent(QMouseEvent* event) {
    // Only the window's own surface counts, not a control that passed the movement on.
    if (childAt(event->position().toPoint()) == nullptr)
        Application::Guard([&] {
            FormMouseMove(this, event->modifiers(), int(event->position().x()), int(event->position().y()));
        });
    QWidget::mouseMoveEvent(event);
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    if (!PressDefaultButton(event))
        QWidget::keyPressEvent(event);
}

bool TForm1::PressDefaultButton(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    // On a button, Enter presses that button.
    if (auto* button = qobject_cast<QAbstractButton*>(QApplication::focusWidget())) {
        button->click();
        return true;
    }
    if (!ui_->BitBtn6->isEnabled())
        return false;
    ui_->BitBtn6->click();
    return true;
}

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
        printer.Canvas().CopyRect(page, picture, source);
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

// ---------------------------------------------------------------------------------------------------
// Files

void TForm1::BitBtn6Click(QObject*) {
    if (!savePictureDialog1_.Execute(this))
        return;
    const TBitmap* result = ui_->OrImage1->PictureResult()->Bitmap();
    // The dialog's name already ends in the chosen type's extension, and it asked about that name.
    const QString name = savePictureDialog1_.FileName();
    switch (savePictureDialog1_.FilterIndex()) {
    case 1: {
        TJPEGImage jpeg;
        jpeg.SetCompressionQuality(100);
        jpeg.Assign(result);
        jpeg.Compress();
        jpeg.SaveToFile(name);
        break;
    }
    case 2: {
        TBitmap bitmap;
        bitmap.Assign(result);
        bitmap.SaveToFile(name);
        break;
    }
    default:
        break;
    }
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
