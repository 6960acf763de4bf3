#include "ui/list_filter_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "filters/filter_preview.h"

namespace qv {

namespace {
// How often a running match reports its progress and is picked up.
constexpr int kProgressMs = 40;
}  // namespace

ListFilterBar::ListFilterBar(CTalvenorDoc& doc, PacketListModel& model, std::function<std::string()> rules,
                             QWidget* parent)
    : QWidget(parent), doc_(doc), model_(model), rules_(std::move(rules)) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(2, 2, 2, 2);
  row->addWidget(new QLabel(QStringLiteral("List filter:"), this));
  field_ = new QLineEdit(this);
  field_->setPlaceholderText(QStringLiteral("an expression, e.g. tcp port 80 (Enter applies, empty shows all)"));
  field_->setClearButtonEnabled(true);
  row->addWidget(field_, 1);
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

  connect(field_, &QLineEdit::returnPressed, this, [this] { SetExpression(field_->text()); });
  connect(field_, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (text.isEmpty()) SetExpression(text);  // the clear button shows all again
  });
  connect(useRules, &QPushButton::clicked, this, &ListFilterBar::UseRules);
  connect(cancel_, &QPushButton::clicked, this, &ListFilterBar::Cancel);
  connect(timer_, &QTimer::timeout, this, &ListFilterBar::Poll);
}

ListFilterBar::~ListFilterBar() = default;

QString ListFilterBar::Error() const { return error_->isHidden() ? QString() : error_->toolTip(); }

bool ListFilterBar::SetExpression(const QString& expression) {
  Cancel();
  error_->hide();
  if (expression.trimmed().isEmpty()) {
    filter_.reset();
    model_.ClearListFilter();
    Poll();
    return true;
  }
  FilterCompile compiled = CompileOffline(expression.toStdString(), doc_.LinkType(), PCAP_NETMASK_UNKNOWN);
  if (!compiled.ok) {
    error_->setText(QStringLiteral("✘"));
    error_->setToolTip(QString::fromStdString(compiled.error));
    error_->show();
    return false;
  }
  filter_ = std::make_shared<CompiledFilter>(std::move(compiled.filter));
  // Frames buffered so far are matched in the background; the rest as they come.
  job_ = std::make_unique<ListFilterJob>(doc_.Buffer(), std::make_shared<const ListFilter>(filter_), doc_.Buffer().Count());
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->show();
  cancel_->show();
  timer_->start();
  return true;
}

void ListFilterBar::UseRules() {
  const QString expression = QString::fromStdString(rules_());
  field_->setText(expression);
  SetExpression(expression);
}

void ListFilterBar::Cancel() {
  // The list keeps what it showed before.
  job_.reset();
  timer_->stop();
  progress_->hide();
  cancel_->hide();
}

void ListFilterBar::BufferCleared() {
  if (!job_) return;
  job_.reset();
  Finish();
  model_.SetListFilter(filter_, {}, 0);
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
      job_.reset();
      Finish();
      model_.SetListFilter(filter_, std::move(matched), last);
    }
  }
  if (model_.ListFiltered()) {
    shown_->setText(QStringLiteral("Shown: %1 of %2").arg(model_.rowCount()).arg(doc_.PacketCount()));
    shown_->show();
  } else {
    shown_->hide();
  }
}

}  // namespace qv
