#pragma once
// The "Send" page: the frame being composed (60 bytes of 0xFF at first),
// the byte editor, the Ethernet wizard, packet files, "Fix checksums" and
// send jobs with their progress in the status bar's send pane.

#include <QWidget>

#include <memory>

#include "capture/capture_session.h"
#include "capture/user_prompt.h"
#include "sender/frame_composer.h"
#include "sender/send_job.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace qv {

class HexEditor;

class SendPage : public QWidget {
  Q_OBJECT
 public:
  // `backend` replaces the capture library's sending (tests); may be null.
  SendPage(CTalvenorDoc& doc, UserPrompt& prompt, SendBackend* backend = nullptr, QWidget* parent = nullptr);
  ~SendPage() override;

  // The status bar's pane that shows the job's progress.
  void SetProgressPane(QProgressBar* pane) { progress_ = pane; }

  const Frame& FrameBytes() const { return frame_; }
  // Replaces the frame (Resend, Load) and shows it; the length box follows.
  void SetFrame(Frame frame);
  HexEditor& Editor() const { return *editor_; }
  QLineEdit* LengthBox() const { return length_; }
  QLineEdit* CountBox() const { return count_; }
  QLineEdit* GapBox() const { return gap_; }
  QPushButton* Button(const QString& text) const;
  QCheckBox* ColumnBox(const QString& text) const;
  QString ChecksumText() const;
  bool Sending() const { return job_.Sending(); }
  SendJob& Job() { return job_; }

  // --- commands ---
  void SetLength();
  void DeleteAll();
  void RunWizard();
  bool Send();
  void Stop();
  void Translate() { emit translateRequested(); }
  void FixFrameChecksums();
  void SelectAll();
  void Copy();
  void Paste();
  bool SaveFile(const QString& path);
  bool LoadFile(const QString& path);
  // Stops a running job and waits for its thread, serving events meanwhile
  // (its last message may wait for this thread).
  void Shutdown();
  // The 100 ms progress timer's work.
  void Tick();

 signals:
  void translateRequested();

 private:
  void ShowFrame();
  void SetControlsIdle(bool idle);
  void Message(const std::string& text, MessageIcon icon = MessageIcon::Warning);

  CTalvenorDoc& doc_;
  UserPrompt& prompt_;
  std::unique_ptr<SendBackend> ownBackend_;
  SendJob job_;
  Frame frame_ = InitialFrame();
  std::uint32_t jobCount_ = 0;

  HexEditor* editor_;
  QLineEdit* length_;
  QLineEdit* count_;
  QLineEdit* gap_;
  QLabel* checksums_;
  QProgressBar* progress_ = nullptr;
  QTimer* timer_;
};

}  // namespace qv
