#include "app/gui/server_window.h"

#include <QCloseEvent>
#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSystemTrayIcon>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <exception>

#include "app/gui/tray_image.h"
#include "platform/log_timestamp.h"

namespace kestova {

namespace {

// Title bar with the system menu, minimise and close; no maximise button.
constexpr Qt::WindowFlags kWindowFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                         Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                         Qt::WindowCloseButtonHint;

// The layout is in pixels of a 96-dpi design; the fonts are sized in pixels too (8 pt at 96 dpi
// is a character height of 11 pixels), so text and layout scale together.
constexpr int kFontPixels = 11;
constexpr int kMargin = 8;
constexpr int kMemoTop = 66;
constexpr int kMaxLogLines = 600;

QFont DesignFont(const char* family, QFont::StyleHint hint) {
  QFont font{QString::fromLatin1(family)};
  font.setPixelSize(kFontPixels);
  font.setStyleHint(hint);
  return font;
}

}  // namespace

TfmServer::TfmServer(TServiceStarter starter, TMainThread& main, QWidget* parent)
    : QWidget(parent, kWindowFlags), FMain(main), FAlive(std::make_shared<TfmServer*>(this)), FAliveWeak(FAlive) {
  CreateControls();
  CreateTrayIcon();
  FormCreate(starter);
}

TfmServer::~TfmServer() {
  ReleaseService();
  FAlive.reset();
}

void TfmServer::CreateControls() {
  setObjectName(QStringLiteral("fmServer"));
  setWindowTitle(QStringLiteral("Kestova LED display Server"));
  setFont(DesignFont("Tahoma", QFont::SansSerif));
  resize(398, 584);
  move(0, 0);

  Label1 = new QLabel(QStringLiteral("Server Not Running"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->move(160, 8);
  Label1->adjustSize();

  lblLast = new QLabel(this);
  lblLast->setObjectName(QStringLiteral("lblLast"));
  lblLast->setGeometry(kMargin, 47, 382, 13);
  lblLast->setVisible(false);

  memoLog = new QPlainTextEdit(this);
  memoLog->setObjectName(QStringLiteral("memoLog"));
  memoLog->setFont(DesignFont("Courier New", QFont::TypeWriter));
  memoLog->setLineWrapMode(QPlainTextEdit::NoWrap);
  memoLog->setGeometry(kMargin, kMemoTop, 382, 510);
}

void TfmServer::CreateTrayIcon() {
  imgTray = QIcon(TrayImage());
  setWindowIcon(imgTray);
  // Shown whether or not a tray exists right now: a tray host that starts later embeds it.
  icnTray = new QSystemTrayIcon(imgTray, this);
  icnTray->setObjectName(QStringLiteral("icnTray"));
  icnTray->setToolTip(QStringLiteral("Kestova LED display"));
  connect(icnTray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) ToggleFromTray();
  });
  icnTray->show();
}

void TfmServer::FormCreate(const TServiceStarter& starter) {
  if (starter) {
    // The service logs its own start-up failures; anything that still escapes is logged here so
    // the window comes up and says what went wrong.
    try {
      FService = starter([this](const std::string& MsgTxt) { Log(MsgTxt); });
    } catch (const std::exception& error) {
      Log(error.what());
    }
  }
  Label1->setText(QStringLiteral("Server running!"));
  Label1->adjustSize();
}

void TfmServer::Log(const std::string& MsgTxt) {
  if (FMain.IsMainThread()) {
    AppendPending();
    AppendLine(MsgTxt);
    return;
  }
  {
    std::lock_guard lock(FPendingLock);
    FPending.push_back(MsgTxt);
  }
  FMain.Queue([alive = FAliveWeak] {
    if (const auto self = alive.lock()) (*self)->AppendPending();
  });
}

void TfmServer::AppendPending() {
  std::deque<std::string> lines;
  {
    std::lock_guard lock(FPendingLock);
    lines.swap(FPending);
  }
  for (const std::string& line : lines) AppendLine(line);
}

void TfmServer::AppendLine(const std::string& MsgTxt) {
  const QString text = QString::fromStdString(MsgTxt);
  lblLast->setText(QString::fromStdString(LogTimestamp()) + QStringLiteral(": ") + text);
  const QTextDocument* log = memoLog->document();
  const int lines = log->isEmpty() ? 0 : log->blockCount();
  if (lines > kMaxLogLines) memoLog->clear();
  memoLog->appendPlainText(QString::fromStdString(LogTimestamp()) + QStringLiteral(": ") + text);
}

void TfmServer::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Without a tray the window stays an ordinary minimised window.
  if (event->type() == QEvent::WindowStateChange && isMinimized() && icnTray->isVisible() &&
      QSystemTrayIcon::isSystemTrayAvailable()) {
    // Hiding inside the state change confuses some window managers; do it right after.
    QTimer::singleShot(0, this, &TfmServer::HideToTray);
  }
}

void TfmServer::HideToTray() {
  if (isMinimized()) hide();
}

void TfmServer::ToggleFromTray() {
  if (isHidden() || isMinimized()) {
    showNormal();
    raise();
    activateWindow();
  } else {
    hide();
  }
}

void TfmServer::closeEvent(QCloseEvent* event) {
  // Closing ends the server: the service goes now, with its client threads and its port.
  ReleaseService();
  QWidget::closeEvent(event);
  event->accept();
}

void TfmServer::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The log keeps its distance to all four edges.
  memoLog->setGeometry(kMargin, kMemoTop, std::max(0, width() - 2 * kMargin),
                       std::max(0, height() - kMemoTop - kMargin));
}

void TfmServer::ReleaseService() noexcept { FService.Reset(); }

}  // namespace kestova
