// TForm1: the program's one window. It holds every control, the hidden image control OrImage1 that
// carries the working picture, the view Image1 and the ten hidden slots of the page ring.
#pragma once

#include "Document.h"
#include "PictureDialogs.h"
#include "Types.h"
#include "UpDown.h"

#include <QWidget>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class TForm1;
}
class QAbstractButton;
class QIcon;
class QMenu;
class TBitmap;
class TImage;
class TTwainManager;
class TTwainSource;
class TWaitTicker;

class TForm1 : public QWidget {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    Ui::TForm1& Controls() const { return *ui_; }
    QMenu* PopupMenu1() const { return popupMenu1_; }
    // The page ring's slots in slot order (Image3, Image6 ... Image14).
    TImage* RingSlot(int slot) const { return ring_[std::size_t(slot)]; }

    // Handlers.
    void FormCreate(QObject* sender);
    void FormMouseMove(QObject* sender, Qt::KeyboardModifiers shift, int x, int y);
    void Image1MouseMove(QObject* sender, Qt::KeyboardModifiers shift, int x, int y);
    void CheckBox1MouseUp(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void Label7MouseMove(QObject* sender, Qt::KeyboardModifiers shift, int x, int y);
    void Label7Click(QObject* sender);
    void BitBtn4Click(QObject* sender);

    // Scanning and the page ring.
    void BitBtn1Click(QObject* sender);
    void BitBtn2Click(QObject* sender);
    void Twain1TwainAcquire(TObject* sender, int index, TBitmap* image, bool& cancel);
    void BitBtn8Click(QObject* sender);
    void BitBtn9Click(QObject* sender);
    void BitBtn8MouseDown(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void BitBtn9MouseDown(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void BitBtn8MouseUp(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void BitBtn9MouseUp(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    TTwainManager& Twain1() const { return *twain1_; }

    // The scanning state, readable for tests.
    int SourceIndex = 0;
    TTwainSource* ActiveSource = nullptr;
    int RingWrite = 0;
    int RingLast = 0;
    int RingWrapped = 0;
    int RingBrowse = 0;

    // Correction controls.
    void ComboBox2Change(QObject* sender);
    void TrackBar1Change(QObject* sender);
    void TrackBar2Change(QObject* sender);
    void ComboBox1Change(QObject* sender);
    void UpDown1ChangingEx(QObject* sender, bool& allowChange, short newValue, TUpDownDirection direction);
    void BitBtn3Click(QObject* sender);

    // Files.
    void BitBtn6Click(QObject* sender);
    void BitBtn7Click(QObject* sender);
    TPictureDialog& OpenPictureDialog1() { return openPictureDialog1_; }
    TPictureDialog& SavePictureDialog1() { return savePictureDialog1_; }

    // Printing.
    void BitBtn5Click(QObject* sender);
    void N1Click(QObject* sender);

    // The ring's pages as one document: "Печать всех страниц" and "Сохранить все страницы в PDF…" of
    // the context menu of "Печать".
    void N2Click(QObject* sender);
    void N3Click(QObject* sender);
    // The pages stored in the ring since its last reset, oldest first (the start-up picture is none).
    document::TPages RingPages() const;
    TPictureDialog& SavePdfDialog() { return savePdfDialog_; }

    // The address the credit line opens.
    static const char* const AuthorPage;
    // The program's icon, the same the desktop shows for it.
    static QIcon ProgramIcon();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void LoadStoredLayout();
    void ConnectHandlers();
    void ConnectClick(QAbstractButton* button, void (TForm1::*handler)(QObject*));
    // Keys that press the buttons, and names for the buttons that only show a glyph.
    void ConnectKeyboard();
    // The busy animation around a track bar's rebuild.
    void ResetAutoSize();
    void SetCounterColour(const QColor& colour);
    void StartBusyAnimation();
    void StopBusyAnimation();
    // Runs a save on a thread of its own and returns when it has ended (raising its error), while
    // the window goes on repainting and showing that it is busy.
    void SaveWhileTheWindowGoesOn(std::function<void()> save);
    // The same for pages saved as one PDF.
    void SavePdfWhileTheWindowGoesOn(const QString& name, const document::TPages& pages);
    // Enter presses the focused button, or else the window's default button, "Сохранить".
    bool PressDefaultButton(QKeyEvent* event);

    std::unique_ptr<Ui::TForm1> ui_;
    QMenu* popupMenu1_ = nullptr;
    std::array<TImage*, 10> ring_{};
    std::unique_ptr<TTwainManager> twain1_;
    TPictureDialog openPictureDialog1_{TPictureDialogKind::Open};
    TPictureDialog savePictureDialog1_{TPictureDialogKind::Save};
    TPictureDialog savePdfDialog_{TPictureDialogKind::Save};

    // 1 while a track bar handler plays the busy animation.
    int BusyAnimating = 0;
    // Moves the animation on while a rebuild holds up this thread.
    std::unique_ptr<TWaitTicker> busyTicker_;
    // When the animation's playback began and when it was last stopped; a change within the gap
    // after the last one goes on with the same playback.
    static const std::chrono::milliseconds kBusyBurstGap;
    // How long a save runs before the busy animation shows it.
    static const std::chrono::milliseconds kBusySaveDelay;
    std::chrono::steady_clock::time_point busyStarted_;
    std::optional<std::chrono::steady_clock::time_point> busyEnded_;
    // While a save runs, and whether the window was asked to close meanwhile.
    bool saving_ = false;
    bool closeWanted_ = false;
};
