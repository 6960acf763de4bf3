#include "ui/send_page.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include "sender/checksum_fixer.h"
#include "sender/helper_send_backend.h"
#include "sender/packet_file.h"
#include "sender/send_adapter.h"
#include "ui/ethernet_wizard.h"
#include "ui/hex_editor.h"

namespace qv {

namespace {

constexpr int kTickMs = 100;
const QString kPacketFilter = QStringLiteral("Sniff Packet (*.spk)");
const char* const kPlainText = "text/plain";

// The six display boxes, in the page's order, with the columns they switch.
constexpr std::pair<const char*, HexEditor::Column> kColumnBoxes[] = {
    {"ascii", HexEditor::Ascii}, {"bin", HexEditor::Binary},  {"oct", HexEditor::Octal},
    {"dec", HexEditor::Decimal}, {"hex", HexEditor::Hex},     {"addr", HexEditor::Address},
};

}  // namespace

SendPage::SendPage(CTalvenorDoc& doc, UserPrompt& prompt, SendBackend* backend, QWidget* parent)
    : QWidget(parent),
      doc_(doc),
      prompt_(prompt),
      ownBackend_(backend == nullptr ? std::make_unique<HelperSendBackend>() : nullptr),
      job_(backend != nullptr ? *backend : *ownBackend_, prompt),
      editor_(new HexEditor(this)),
      length_(new QLineEdit(QString::number(kInitialFrameLength), this)),
      count_(new QLineEdit(QStringLiteral("1"), this)),
      gap_(new QLineEdit(QStringLiteral("0"), this)),
      checksums_(new QLabel(this)),
      timer_(new QTimer(this)) {
  auto button = [this](const char* text, auto slot) {
    auto* b = new QPushButton(QString::fromLatin1(text), this);
    b->setObjectName(QString::fromLatin1(text));
    connect(b, &QPushButton::clicked, this, slot);
    return b;
  };

  auto* frameBox = new QGroupBox(QStringLiteral("Frame"), this);
  auto* frameRow = new QHBoxLayout(frameBox);
  frameRow->addWidget(new QLabel(QStringLiteral("Length:"), frameBox));
  length_->setMaximumWidth(70);
  frameRow->addWidget(length_);
  frameRow->addWidget(button("set length", [this] { SetLength(); }));
  frameRow->addWidget(button("delete all", [this] { DeleteAll(); }));
  frameRow->addWidget(button("Wizard", [this] { RunWizard(); }));
  frameRow->addWidget(button("Fix checksums", [this] { FixFrameChecksums(); }));
  frameRow->addWidget(button("Translate", [this] { Translate(); }));
  frameRow->addStretch();
  frameRow->addWidget(button("Load", [this] {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Load"), QStringLiteral("packet.spk"),
                                                      kPacketFilter);
    if (!path.isEmpty()) LoadFile(path);
  }));
  frameRow->addWidget(button("Save", [this] {
    QFileDialog dialog(this, QStringLiteral("Save"), QString(), kPacketFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("spk"));
    dialog.selectFile(QStringLiteral("packet"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) SaveFile(dialog.selectedFiles().front());
  }));

  auto* sendBox = new QGroupBox(QStringLiteral("Sending"), this);
  auto* sendGrid = new QGridLayout(sendBox);
  sendGrid->addWidget(new QLabel(QStringLiteral("Packet count: (0 - continuosly)"), sendBox), 0, 0);
  sendGrid->addWidget(count_, 0, 1);
  sendGrid->addWidget(new QLabel(QStringLiteral("Time gap: (miliseconds)"), sendBox), 1, 0);
  sendGrid->addWidget(gap_, 1, 1);
  sendGrid->addWidget(button("Send", [this] { Send(); }), 0, 2);
  sendGrid->addWidget(button("Stop", [this] { Stop(); }), 1, 2);

  auto* columnsRow = new QHBoxLayout;
  for (const auto& [label, column] : kColumnBoxes) {
    auto* box = new QCheckBox(QString::fromLatin1(label), this);
    box->setObjectName(QString::fromLatin1(label));
    box->setChecked(editor_->ColumnShown(column));
    connect(box, &QCheckBox::toggled, this, [this, c = column](bool on) { editor_->SetColumnShown(c, on); });
    columnsRow->addWidget(box);
  }
  columnsRow->addStretch();

  auto* top = new QHBoxLayout;
  top->addWidget(frameBox, 1);
  top->addWidget(sendBox);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(columnsRow);
  layout->addWidget(editor_, 1);
  layout->addWidget(checksums_);

  connect(editor_, &HexEditor::byteEdited, this, [this](qulonglong offset, quint8 value) {
    if (offset < frame_.size()) frame_[offset] = value;
  });
  connect(editor_, &HexEditor::selectAllRequested, this, &SendPage::SelectAll);
  connect(editor_, &HexEditor::copyRequested, this, &SendPage::Copy);
  connect(editor_, &HexEditor::pasteRequested, this, &SendPage::Paste);
  connect(timer_, &QTimer::timeout, this, &SendPage::Tick);
  SetControlsIdle(true);
  ShowFrame();
}

SendPage::~SendPage() { Shutdown(); }

QPushButton* SendPage::Button(const QString& text) const { return findChild<QPushButton*>(text); }
QCheckBox* SendPage::ColumnBox(const QString& text) const { return findChild<QCheckBox*>(text); }
QString SendPage::ChecksumText() const { return checksums_->text(); }

void SendPage::Message(const std::string& text, MessageIcon icon) { prompt_.ShowMessage(text, "Quorvanet", icon); }

void SendPage::ShowFrame() { editor_->SetData(frame_); }

void SendPage::SetFrame(Frame frame) {
  frame_ = std::move(frame);
  length_->setText(QString::number(frame_.size()));
  ShowFrame();
}

void SendPage::SetLength() {
  if (const auto refusal = SetFrameLength(frame_, length_->text().toStdString())) {
    Message(*refusal);
    return;
  }
  ShowFrame();
}

void SendPage::DeleteAll() {
  frame_.clear();
  ShowFrame();
}

void SendPage::RunWizard() {
  if (RunEthernetWizard(frame_, prompt_, this)) ShowFrame();
}

void SendPage::FixFrameChecksums() {
  const ChecksumReport report = FixChecksums(frame_);
  checksums_->setText(QString::fromStdString(DescribeChecksumReport(report)));
  ShowFrame();
}

// --- clipboard ------------------------------------------------------------------

void SendPage::SelectAll() {
  if (!frame_.empty()) editor_->SetSelection(0, frame_.size() - 1);
}

void SendPage::Copy() {
  QClipboard* clipboard = QApplication::clipboard();
  if (clipboard == nullptr) return Message("Couldn't open the clipboard");
  const auto selection = editor_->Selection();
  if (!selection) return;
  const Frame bytes = SelectedBytes(frame_, selection->first, selection->second);
  const QByteArray copied(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  auto* mime = new QMimeData;
  mime->setData(QString::fromLatin1(kPlainText), copied);
  clipboard->setMimeData(mime);
  const QMimeData* placed = clipboard->mimeData();
  if (placed == nullptr || placed->data(QString::fromLatin1(kPlainText)) != copied) {
    Message("Couldn't place data in the clipboard");
  }
}

void SendPage::Paste() {
  QClipboard* clipboard = QApplication::clipboard();
  if (clipboard == nullptr) return Message("Couldn't open the clipboard");
  const QMimeData* mime = clipboard->mimeData();
  if (mime == nullptr || !mime->hasText()) return;
  QByteArray block = mime->data(QString::fromLatin1(kPlainText));
  if (block.isEmpty()) block = mime->text().toUtf8();
  const auto selection = editor_->Selection();
  const std::size_t at = selection ? selection->first : editor_->Caret();
  PasteOver(frame_, at, {reinterpret_cast<const std::uint8_t*>(block.constData()), static_cast<std::size_t>(block.size())});
  ShowFrame();
}

// --- packet files -----------------------------------------------------------------

bool SendPage::SaveFile(const QString& path) {
  const std::string error = SavePacketFile(path.toStdString(), frame_);
  if (!error.empty()) Message(error);
  return error.empty();
}

bool SendPage::LoadFile(const QString& path) {
  PacketFileLoad load = LoadPacketFile(path.toStdString());
  if (!load.error.empty()) {
    Message(load.error);
    return false;
  }
  SetFrame(std::move(load.frame));
  return true;
}

// --- sending ----------------------------------------------------------------------

bool SendPage::Send() {
  if (job_.Sending()) return false;
  std::string error;
  const std::optional<SendNumbers> numbers =
      ParseSendNumbers(count_->text().toStdString(), gap_->text().toStdString(), &error);
  if (!numbers) {
    Message(error);
    return false;
  }
  const std::optional<std::string> adapter = ResolveSendAdapter(doc_, prompt_);
  if (!adapter) return false;
  jobCount_ = numbers->count;
  if (progress_ != nullptr) {
    progress_->setRange(0, numbers->count == 0 ? 1 : static_cast<int>(numbers->count));
    progress_->setValue(0);
    progress_->setFormat(QStringLiteral("Sending..."));
  }
  job_.Start({*adapter, frame_, *numbers});
  SetControlsIdle(false);
  timer_->start(kTickMs);
  return true;
}

void SendPage::Stop() {
  job_.Stop();
  SetControlsIdle(true);
}

void SendPage::Tick() {
  if (!timer_->isActive()) return;
  if (job_.Sending()) {
    const std::uint64_t current = job_.Current();
    if (progress_ != nullptr && current > 0) {
      if (jobCount_ > 0) progress_->setValue(static_cast<int>(std::min<std::uint64_t>(current, jobCount_)));
      progress_->setFormat(QStringLiteral("Sending...(%1)").arg(current));
    }
    return;
  }
  QString text = QStringLiteral(" ");
  if (const std::optional<SendResult> result = job_.TakeResult()) {
    if (result->attempted > 0) text = QString::fromStdString(DescribeSendResult(*result));
  } else if (job_.ThreadsRunning()) {
    return;  // the job's figures are not in yet
  }
  if (progress_ != nullptr) {
    progress_->setValue(0);
    progress_->setFormat(text);
  }
  SetControlsIdle(true);
  timer_->stop();
}

void SendPage::SetControlsIdle(bool idle) {
  for (QWidget* w : findChildren<QWidget*>()) {
    const QString name = w->objectName();
    if (name == QLatin1String("Stop")) {
      w->setEnabled(!idle);
    } else if (name != QLatin1String("Translate") && name != QLatin1String("Load") && name != QLatin1String("Save") &&
               (qobject_cast<QPushButton*>(w) != nullptr || qobject_cast<QCheckBox*>(w) != nullptr ||
                qobject_cast<QLineEdit*>(w) != nullptr)) {
      w->setEnabled(idle);
    }
  }
  editor_->setEnabled(idle);
}

void SendPage::Shutdown() {
  job_.Stop();
  QElapsedTimer waited;
  waited.start();
  while (job_.ThreadsRunning() && waited.elapsed() < 10000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  job_.WaitUntilIdle(std::chrono::milliseconds(10000));
}

}  // namespace qv
