#include "ui/list_filter_bar.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>

#include "filters/display_filter.h"
#include "filters/filter_preview.h"
#include "filters/filter_settings.h"

namespace qv {

namespace {
// How often a running match reports its progress and is picked up.
constexpr int kProgressMs = 40;
// Untested frames beyond which a display filter is matched again on the
// worker rather than a thousand frames a refresh on this thread (frames
// came faster than the list tests them: a file still loading, a burst).
constexpr std::uint32_t kBacklogForWorker = 16384;
}  // namespace

ListFilterBar::ListFilterBar(CTalvenorDoc& doc, PacketListModel& model, SettingsStore& store,
                             std::function<std::string()> rules, QWidget* parent)
    : QWidget(parent), doc_(doc), model_(model), store_(store), rules_(std::move(rules)) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(2, 2, 2, 2);
  row->addWidget(new QLabel(QStringLiteral("List filter:"), this));
  field_ = new QComboBox(this);
  field_->setEditable(true);
  field_->setInsertPolicy(QComboBox::NoInsert);  // the history is kept here, newest first
  field_->setMaxCount(static_cast<int>(kFilterHistorySize));
  field_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  Field()->setPlaceholderText(
      QStringLiteral("a display filter (dns.qry.name == \"example.com\") or a capture filter (tcp port 80); "
                     "Enter applies, empty shows all"));
  Field()->setClearButtonEnabled(true);
  row->addWidget(field_, 1);
  language_ = new QLabel(this);
  language_->setStyleSheet(QStringLiteral("color: gray;"));
  language_->hide();
  row->addWidget(language_);
  auto* useRules = new QPushButton(QStringLiteral("Use the rules"), this);
  row->addWidget(useRules);
  error_ = new QLabel(this);
  error_->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
  error_->hide();
  row->addWidget(error_);
  progress_ = new QProgressBar(this);
  progress_->setMaximumWidth(160);
  progress_->setFormat(QStringLiteral("Filtering %p%"));
  progress_->hide();
  row->addWidget(progress_);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->hide();
  row->addWidget(cancel_);
  shown_ = new QLabel(this);
  shown_->hide();
  timer_ = new QTimer(this);
  timer_->setInterval(kProgressMs);

  history_ = LoadFilterHistory(store_);
  ShowHistory();

  connect(Field(), &QLineEdit::returnPressed, this, [this] { SetExpression(Field()->text()); });
  // Picking a filter from the drop-down applies it (Enter, which also
  // activates, has applied it already).
  connect(field_, &QComboBox::textActivated, this, [this](const QString& text) {
    if (text != applied_) SetExpression(text);
  });
  connect(Field(), &QLineEdit::textChanged, this, [this](const QString& text) {
    if (text.isEmpty()) SetExpression(text);  // the clear button shows all again
  });
  connect(useRules, &QPushButton::clicked, this, &ListFilterBar::UseRules);
  connect(cancel_, &QPushButton::clicked, this, &ListFilterBar::Cancel);
  connect(timer_, &QTimer::timeout, this, &ListFilterBar::Poll);
  // Other decoders give other fields: a display filter is matched again with them.
  connect(&model_, &PacketListModel::decodingChanged, this, [this] {
    if (!current_.display || job_ || doc_.Buffer().Count() == 0) return;
    next_ = current_;
    next_.filter = MakeFilter(next_);
    StartJob(doc_.Buffer().Count());
  });
}

ListFilterBar::~ListFilterBar() = default;

QLineEdit* ListFilterBar::Field() const { return field_->lineEdit(); }

QString ListFilterBar::Error() const { return error_->isHidden() ? QString() : error_->toolTip(); }

std::shared_ptr<const ListFilter> ListFilterBar::MakeFilter(const Choice& choice) const {
  if (choice.display) {
    return std::make_shared<const ListFilter>(choice.display, DecodeSetup{doc_.Decoders(), doc_.QuicInitials()},
                                              doc_.Buffer().TimeNsAt(0).value_or(0));
  }
  return std::make_shared<const ListFilter>(choice.program);
}

void ListFilterBar::ShowLanguage(const Choice& choice) {
  if (choice.Empty()) {
    language_->hide();
    return;
  }
  language_->setText(choice.display ? QStringLiteral("Display filter") : QStringLiteral("Capture filter"));
  language_->setToolTip(choice.display ? QStringLiteral("Read as a display filter: tested on the decoded fields")
                                       : QStringLiteral("Read as a capture filter (libpcap's language): tested on "
                                                        "the frames' bytes"));
  language_->show();
}

bool ListFilterBar::SetExpression(const QString& expression, bool captureFilter) {
  Cancel();
  backlogCancelled_ = false;
  awaitingFrames_ = false;
  error_->hide();
  const std::string text = expression.trimmed().toStdString();
  if (text.empty()) {
    current_ = next_ = Choice{};
    applied_.clear();
    ShowLanguage(current_);
    model_.ClearListFilter();
    Poll();
    return true;
  }
  Choice choice;
  DisplayFilterError displayError;
  if (!captureFilter) choice.display = CompileDisplayFilter(text, &displayError);
  if (!choice.display) {
    FilterCompile compiled = CompileOffline(text, doc_.LinkType(), PCAP_NETMASK_UNKNOWN);
    if (!compiled.ok) {
      error_->setText(QStringLiteral("✘"));
      const QString pcapReason = QString::fromStdString(compiled.error);
      error_->setToolTip(captureFilter ? pcapReason
                                       : QStringLiteral("Not a display filter: %1\nNot a capture filter: %2")
                                             .arg(QString::fromStdString(displayError.Text()), pcapReason));
      error_->show();
      return false;
    }
    choice.program = std::make_shared<CompiledFilter>(std::move(compiled.filter));
  }
  applied_ = expression;
  Remember(expression);
  choice.filter = MakeFilter(choice);
  ShowLanguage(choice);
  const std::uint32_t count = doc_.Buffer().Count();
  if (count == 0) {
    // Nothing to match yet: the test is made with the first frame, whose
    // time the display filter's relative times count from.
    current_ = next_ = choice;
    model_.SetListFilter(current_.filter, nullptr, {}, 0);
    awaitingFrames_ = true;
    Poll();
    return true;
  }
  next_ = choice;
  StartJob(count);
  return true;
}

void ListFilterBar::StartJob(std::uint32_t count) {
  // Frames buffered so far are matched in the background; the rest as they come.
  job_ = std::make_unique<ListFilterJob>(doc_.Buffer(), next_.filter, count);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->show();
  cancel_->show();
  timer_->start();
}

bool ListFilterBar::Apply(const QString& expression) {
  Prepare(expression);
  return SetExpression(expression);
}

void ListFilterBar::Prepare(const QString& expression) {
  // No "empty shows all" while the text is swapped.
  const QSignalBlocker block(Field());
  Field()->setText(expression);
}

void ListFilterBar::Remember(const QString& expression) {
  RememberFilter(history_, expression.toStdString());
  SaveFilterHistory(store_, history_);
  store_.Flush();  // kept even if the program does not end normally
  ShowHistory();
}

void ListFilterBar::ShowHistory() {
  const QSignalBlocker blockField(Field());
  const QSignalBlocker blockBox(field_);
  const QString text = Field()->text();
  field_->clear();
  for (const std::string& h : history_) field_->addItem(QString::fromStdString(h));
  field_->setCurrentIndex(-1);
  Field()->setText(text);
}

void ListFilterBar::UseRules() {
  const QString expression = QString::fromStdString(rules_());
  Prepare(expression);
  SetExpression(expression, true);
}

void ListFilterBar::Cancel() {
  // The list keeps what it showed before, and a display filter is not
  // matched again on the worker for the frames still untested.
  if (job_) backlogCancelled_ = true;
  job_.reset();
  next_ = current_;
  ShowLanguage(current_);
  timer_->stop();
  progress_->hide();
  cancel_->hide();
}

void ListFilterBar::BufferCleared() {
  if (job_) {
    // The match was of frames no longer held: what it was for shows from now on.
    job_.reset();
    Finish();
    current_ = next_;
  }
  // The test is made again with the next first frame (see Poll).
  backlogCancelled_ = false;
  if (!current_.Empty()) {
    model_.SetListFilter(current_.filter, nullptr, {}, 0);
    awaitingFrames_ = true;
  }
}

void ListFilterBar::Finish() {
  timer_->stop();
  progress_->hide();
  cancel_->hide();
}

void ListFilterBar::Poll() {
  if (job_) {
    const std::uint32_t last = job_->Last();
    if (!job_->Done()) {
      progress_->setValue(last == 0 ? 100 : static_cast<int>(std::uint64_t{job_->Matched()} * 100 / last));
    } else {
      std::vector<std::uint32_t> matched = job_->TakeResult();
      std::unique_ptr<FrameTest> test = job_->TakeTest();
      job_.reset();
      Finish();
      current_ = next_;
      model_.SetListFilter(current_.filter, std::move(test), std::move(matched), last);
    }
  } else if (awaitingFrames_ && doc_.Buffer().Count() > 0) {
    // The first frames since the filter was set or the buffer was cleared.
    awaitingFrames_ = false;
    current_.filter = MakeFilter(current_);
    model_.SetListFilter(current_.filter, current_.filter->NewTest(), {}, 0);
  } else if (current_.display && !backlogCancelled_ && model_.UntestedFrames() > kBacklogForWorker) {
    // The list goes on as it is until the worker has matched everything.
    next_ = current_;
    StartJob(doc_.Buffer().Count());
  }
  if (model_.ListFiltered()) {
    shown_->setText(QStringLiteral("Shown: %1 of %2").arg(model_.rowCount()).arg(doc_.PacketCount()));
    shown_->show();
  } else {
    shown_->hide();
  }
}

}  // namespace qv
