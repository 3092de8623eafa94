#include "pas1.h"

#include "ui_pas1.h"

#include "Application.h"
#include "Bitmap.h"
#include "Dialogs.h"
#include "Picture.h"
#include "Shell.h"

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
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
    LoadStoredLayout();
    ConnectHandlers();
    Application::Guard([this] { FormCreate(this); });
}

TForm1::~TForm1() = default;

// The window's stored properties, written through their setters in the stored order.
void TForm1::LoadStoredLayout() {
    Ui::TForm1& c = *ui_;
    move(184, 0);
    setAutoFillBackground(true);

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
    QPalette white = c.CheckBox1->palette();
    white.setColor(QPalette::Window, Qt::white);
    c.CheckBox1->setPalette(white);
    c.CheckBox1->raise();

    // The mode box does not complete typed text; the preset box does.
    c.ComboBox2->setCompleter(nullptr);

    // The busy animation strip under the view, and the context menu of "Печать".
    popupMenu1_ = new QMenu(this);
    popupMenu1_->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* n1 = popupMenu1_->addAction(QStringLiteral("Настройка печати"));
    n1->setObjectName(QStringLiteral("N1"));
    connect(c.BitBtn5, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { popupMenu1_->popup(ui_->BitBtn5->mapToGlobal(at)); });

    c.BitBtn4->setFocus();
}

void TForm1::ConnectHandlers() {
    Ui::TForm1& c = *ui_;
    c.Image1->OnMouseMove = Guarded(
        [this](TObject*, Qt::KeyboardModifiers k, int x, int y) { Image1MouseMove(ui_->Image1, k, x, y); });
    connect(c.BitBtn4, &QPushButton::clicked, this,
            [this] { Application::Guard([this] { BitBtn4Click(ui_->BitBtn4); }); });
    c.Label7->setMouseTracking(true);
    c.Label7->installEventFilter(this);
    c.CheckBox1->installEventFilter(this);
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
