// The window's making: the controls as the layout stores them, the handlers and keys wired to them, and
// the events the window watches for itself (mouse moves over the form, the default button).
#include "pas1.h"

#include "ui_pas1.h"

#include "Application.h"
#include "Bitmap.h"
#include "Picture.h"
#include "RowParts.h"
#include "TwainManager.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QStyle>

// The pictures and glyphs compiled into the window's library (Qt's resource initialiser must be
// called from the global namespace).
static void LoadResources() {
    Q_INIT_RESOURCE(resources);
}

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
    QAction* n2 = popupMenu1_->addAction(QStringLiteral("Печать всех страниц"));
    n2->setObjectName(QStringLiteral("N2"));
    QAction* n3 = popupMenu1_->addAction(QStringLiteral("Сохранить все страницы в PDF…"));
    n3->setObjectName(QStringLiteral("N3"));
    // The whole ring prints from two pages on; one page is already a document to save.
    connect(popupMenu1_, &QMenu::aboutToShow, this, [this, n2, n3] {
        const std::size_t pages = RingPages().size();
        n2->setEnabled(pages >= 2);
        n3->setEnabled(pages >= 1);
    });
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
    savePictureDialog1_.SetFilter(
        QStringLiteral("JPEG Image File (*.jpg)|*.jpg|Bitmaps (*.bmp)|*.bmp|PDF Document (*.pdf)|*.pdf"));
    savePictureDialog1_.OverwritePrompt = true;
    savePictureDialog1_.CreatePrompt = true;
    savePictureDialog1_.AddFilterExtension = true;
    savePdfDialog_.SetFilter(QStringLiteral("PDF Document (*.pdf)|*.pdf"));
    savePdfDialog_.OverwritePrompt = true;
    savePdfDialog_.CreatePrompt = true;
    savePdfDialog_.AddFilterExtension = true;

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
    connect(popupMenu1_->actions().value(1), &QAction::triggered, this,
            [this] { Application::Guard([this] { N2Click(popupMenu1_); }); });
    connect(popupMenu1_->actions().value(2), &QAction::triggered, this,
            [this] { Application::Guard([this] { N3Click(popupMenu1_); }); });
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
