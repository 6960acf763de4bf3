#include "ui/filter_rule_pages.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "filters/rule_entries.h"

namespace qv {

namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QGroupBox* CheckableGroup(const QString& title, QWidget* parent) {
  auto* group = new QGroupBox(title, parent);
  group->setCheckable(true);
  group->setChecked(false);
  return group;
}

}  // namespace

// --- every page ------------------------------------------------------------------

RulePage::RulePage(FilterRules& rules, QWidget* parent) : QWidget(parent), rules_(rules) {
  new QVBoxLayout(this);
}

void RulePage::AddApplyButton() {
  apply_ = new QPushButton(QStringLiteral("Zastosuj"), this);
  apply_->setEnabled(false);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(apply_);
  static_cast<QVBoxLayout*>(layout())->addLayout(row);
  connect(apply_, &QPushButton::clicked, this, [this] {
    // Disabled again whether or not applying succeeds.
    dirty_ = false;
    apply_->setEnabled(false);
    emit applyRequested();
  });
}

void RulePage::SetCapturing(bool capturing) {
  // Start sets the rules as they stand, so only later changes need applying.
  if (capturing != capturing_) dirty_ = false;
  capturing_ = capturing;
  if (apply_ != nullptr) apply_->setEnabled(capturing_ && dirty_);
}

void RulePage::MarkChanged() {
  dirty_ = true;
  if (apply_ != nullptr) apply_->setEnabled(capturing_);
  emit changed();
}

// --- ETH, IP, TCP, ICMP --------------------------------------------------------------

ProtocolRulesPage::ProtocolRulesPage(FilterRules& rules, ProtocolPage page, const QString& title, QWidget* parent)
    : RulePage(rules, parent), page_(page), group_(CheckableGroup(title, this)) {
  auto* inner = new QHBoxLayout(group_);
  list_ = new QListWidget(group_);
  for (std::string_view keyword : ProtocolKeywords(page)) {
    auto* item = new QListWidgetItem(Q(keyword), list_);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    item->setCheckState(Qt::Unchecked);
  }
  inner->addWidget(list_, 1);
  auto* action = new QVBoxLayout;
  action->addWidget(new QLabel(QStringLiteral("Action"), group_));
  capture_ = new QRadioButton(QStringLiteral("Capture"), group_);
  ignore_ = new QRadioButton(QStringLiteral("Ignore"), group_);
  action->addWidget(capture_);
  action->addWidget(ignore_);
  action->addStretch();
  inner->addLayout(action);
  layout()->addWidget(group_);
  AddApplyButton();
  Reload();

  connect(group_, &QGroupBox::toggled, this, [this](bool on) {
    rules_.Protocol(page_).enabled = on;
    MarkChanged();
  });
  connect(list_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    rules_.Protocol(page_).SetChecked(static_cast<std::size_t>(list_->row(item)), item->checkState() == Qt::Checked);
    MarkChanged();
  });
  connect(capture_, &QRadioButton::toggled, this, [this](bool on) {
    rules_.Protocol(page_).capture = on;
    MarkChanged();
  });
}

void ProtocolRulesPage::Reload() {
  const ProtocolRules& p = rules_.Protocol(page_);
  const QSignalBlocker a(group_), b(list_), c(capture_), d(ignore_);
  group_->setChecked(p.enabled);
  for (int i = 0; i < list_->count(); ++i) {
    list_->item(i)->setCheckState(p.Checked(static_cast<std::size_t>(i)) ? Qt::Checked : Qt::Unchecked);
  }
  capture_->setChecked(p.capture);
  ignore_->setChecked(!p.capture);
}

// --- MAC addr, IP addr, Ports ----------------------------------------------------------

AddressRulesPage::AddressRulesPage(FilterRules& rules, Kind kind, Tell tell, QWidget* parent)
    : RulePage(rules, parent), kind_(kind), tell_(std::move(tell)) {
  static const char* const kTitles[] = {"MAC ADDRESSES", "IP ADDRESSES", "PORTS"};
  static const char* const kHeadings[] = {"Adresy MAC", "Adresy IP", "Porty"};
  const auto k = static_cast<std::size_t>(kind);
  group_ = CheckableGroup(QString::fromLatin1(kTitles[k]), this);
  auto* grid = new QGridLayout(group_);

  auto* direction = new QVBoxLayout;
  direction->addWidget(new QLabel(QStringLiteral("Direction"), group_));
  auto* radios = new QButtonGroup(this);
  for (std::string_view word : {kDirectionDestination, kDirectionSource, kDirectionBoth}) {
    auto* r = new QRadioButton(Q(word), group_);
    radios->addButton(r);
    directions_.push_back(r);
    direction->addWidget(r);
  }
  directions_[0]->setChecked(true);
  direction->addStretch();
  grid->addLayout(direction, 0, 0, 2, 1);

  auto* input = new QHBoxLayout;
  if (kind == Kind::Ip) {
    for (int i = 0; i < 4; ++i) {
      auto* field = new QLineEdit(group_);
      field->setValidator(new QIntValidator(0, 255, field));
      field->setMaxLength(3);
      field->setMaximumWidth(48);
      field->setAlignment(Qt::AlignCenter);
      inputs_.push_back(field);
      input->addWidget(field);
      if (i < 3) input->addWidget(new QLabel(QStringLiteral("."), group_));
    }
  } else {
    auto* box = new QLineEdit(group_);
    box->setPlaceholderText(kind == Kind::Mac ? QStringLiteral("AA:BB:CC:DD:EE:FF") : QStringLiteral("80"));
    inputs_.push_back(box);
    input->addWidget(box);
  }
  add_ = new QPushButton(QStringLiteral("Add"), group_);
  input->addWidget(add_);
  grid->addLayout(input, 0, 1);

  list_ = new QTreeWidget(group_);
  list_->setColumnCount(2);
  list_->setHeaderLabels({QString::fromUtf8(kHeadings[k]), QStringLiteral("Kierunek")});
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->addWidget(list_, 1, 1);

  auto* buttons = new QHBoxLayout;
  delete_ = new QPushButton(QStringLiteral("Delete"), group_);
  deleteAll_ = new QPushButton(QStringLiteral("Delete All"), group_);
  buttons->addStretch();
  buttons->addWidget(delete_);
  buttons->addWidget(deleteAll_);
  grid->addLayout(buttons, 2, 1);
  layout()->addWidget(group_);
  AddApplyButton();
  Reload();

  connect(group_, &QGroupBox::toggled, this, [this](bool on) {
    Page().enabled = on;
    UpdateEnabling();
    MarkChanged();
  });
  connect(add_, &QPushButton::clicked, this, &AddressRulesPage::Add);
  connect(delete_, &QPushButton::clicked, this, &AddressRulesPage::DeleteSelected);
  connect(deleteAll_, &QPushButton::clicked, this, &AddressRulesPage::DeleteAll);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, &AddressRulesPage::UpdateEnabling);
}

AddressRules& AddressRulesPage::Page() {
  switch (kind_) {
    case Kind::Mac:
      return rules_.mac;
    case Kind::Ip:
      return rules_.ipAddr;
    case Kind::Port:
      break;
  }
  return rules_.ports;
}

QRadioButton* AddressRulesPage::Direction(std::string_view word) const {
  for (QRadioButton* r : directions_) {
    if (r->text() == Q(word)) return r;
  }
  return nullptr;
}

std::string AddressRulesPage::DirectionWord() const {
  for (QRadioButton* r : directions_) {
    if (r->isChecked()) return r->text().toStdString();
  }
  return std::string(kDirectionDestination);
}

void AddressRulesPage::Reload() {
  const AddressRules& page = Page();
  {
    const QSignalBlocker a(group_), b(list_);
    group_->setChecked(page.enabled);
    list_->clear();
    for (const AddressEntry& e : page.entries) {
      new QTreeWidgetItem(list_, {QString::fromStdString(e.value), QString::fromStdString(e.direction)});
    }
  }
  UpdateEnabling();
}

void AddressRulesPage::UpdateEnabling() {
  // The group box enables its children; the list buttons follow the list.
  const bool on = group_->isChecked();
  delete_->setEnabled(on && !list_->selectedItems().isEmpty());
  deleteAll_->setEnabled(on && list_->topLevelItemCount() > 0);
}

void AddressRulesPage::Add() {
  std::optional<std::string> value;
  switch (kind_) {
    case Kind::Mac:
      value = MacEntryText(inputs_[0]->text().toStdString());
      if (!value) tell_(kBadMacMessage);
      break;
    case Kind::Ip: {
      std::array<std::optional<int>, 4> fields;
      for (std::size_t i = 0; i < 4; ++i) {
        const QString text = inputs_[i]->text().trimmed();
        if (!text.isEmpty()) fields[i] = std::min(text.toInt(), 255);
      }
      value = IpEntryText(fields);
      if (!value) tell_(kBadIpMessage);
      break;
    }
    case Kind::Port: {
      const std::string typed = inputs_[0]->text().toStdString();
      if (IsPortEntry(typed)) {
        value = typed;
      } else {
        tell_(kBadPortMessage);
      }
      break;
    }
  }
  if (!value) return;
  Page().AddOnTop(*value, DirectionWord());
  Reload();
  MarkChanged();
}

void AddressRulesPage::DeleteSelected() {
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return;
  const int row = list_->indexOfTopLevelItem(selected.front());
  if (row < 0 || static_cast<std::size_t>(row) >= Page().entries.size()) return;
  Page().entries.erase(Page().entries.begin() + row);
  Reload();
  MarkChanged();
}

void AddressRulesPage::DeleteAll() {
  Page().entries.clear();
  Reload();
  MarkChanged();
}

// --- Size ------------------------------------------------------------------------

SizeRulesPage::SizeRulesPage(FilterRules& rules, QWidget* parent)
    : RulePage(rules, parent), group_(CheckableGroup(QStringLiteral("SIZE"), this)) {
  auto* row = new QHBoxLayout(group_);
  relation_ = new QComboBox(group_);
  relation_->addItems({QStringLiteral("smaller than"), QStringLiteral("equal"), QStringLiteral("bigger than")});
  number_ = new QLineEdit(group_);
  number_->setMaximumWidth(100);
  number_->installEventFilter(this);
  row->addWidget(relation_);
  row->addWidget(number_);
  row->addWidget(new QLabel(QStringLiteral("bytes"), group_));
  row->addStretch();
  layout()->addWidget(group_);
  static_cast<QVBoxLayout*>(layout())->addStretch();
  AddApplyButton();
  Reload();

  connect(group_, &QGroupBox::toggled, this, [this](bool on) {
    rules_.size.enabled = on;
    MarkChanged();
  });
  connect(relation_, &QComboBox::currentIndexChanged, this, [this](int index) {
    rules_.size.relation = index;
    MarkChanged();
  });
  connect(number_, &QLineEdit::textChanged, this, [this](const QString& text) {
    rules_.size.number = text.toStdString();
    MarkChanged();
  });
}

bool SizeRulesPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == number_ && event->type() == QEvent::FocusOut) {
    const QString text = number_->text();
    const bool digitsOnly =
        std::all_of(text.begin(), text.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
    if (!digitsOnly) number_->clear();
  }
  return RulePage::eventFilter(watched, event);
}

void SizeRulesPage::Reload() {
  const QSignalBlocker a(group_), b(relation_), c(number_);
  group_->setChecked(rules_.size.enabled);
  relation_->setCurrentIndex(rules_.size.relation >= 0 && rules_.size.relation <= 2 ? rules_.size.relation : -1);
  number_->setText(QString::fromStdString(rules_.size.number));
}

// --- Advanced rules ----------------------------------------------------------------

AdvancedRulesPage::AdvancedRulesPage(FilterRules& rules, CheckRule check, std::function<void()> correct,
                                     QWidget* parent)
    : RulePage(rules, parent),
      check_(std::move(check)),
      correct_(std::move(correct)),
      group_(CheckableGroup(QStringLiteral("ADVANCED RULES"), this)) {
  auto* grid = new QGridLayout(group_);
  list_ = new QListWidget(group_);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->addWidget(list_, 0, 0, 1, 2);
  input_ = new QLineEdit(group_);
  input_->setPlaceholderText(QStringLiteral("tcp port 80 and host 10.0.0.1"));
  grid->addWidget(input_, 1, 0, 1, 2);
  auto* joiner = new QVBoxLayout;
  joiner->addWidget(new QLabel(QStringLiteral("Operator to join advanced rules:"), group_));
  auto* radios = new QButtonGroup(this);
  and_ = new QRadioButton(QStringLiteral("AND"), group_);
  or_ = new QRadioButton(QStringLiteral("OR"), group_);
  radios->addButton(and_);
  radios->addButton(or_);
  joiner->addWidget(and_);
  joiner->addWidget(or_);
  grid->addLayout(joiner, 2, 0);
  auto* buttons = new QHBoxLayout;
  for (const char* text : {"Add", "Delete", "Delete All", "Load", "Check"}) {
    auto* b = new QPushButton(QString::fromLatin1(text), group_);
    buttons_.push_back(b);
    buttons->addWidget(b);
  }
  grid->addLayout(buttons, 2, 1);
  layout()->addWidget(group_);
  Reload();

  connect(group_, &QGroupBox::toggled, this, [this](bool on) {
    rules_.advanced.enabled = on;
    UpdateEnabling();
    MarkChanged();
  });
  connect(list_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    const int row = list_->row(item);
    if (row < 0 || static_cast<std::size_t>(row) >= rules_.advanced.rules.size()) return;
    rules_.advanced.rules[static_cast<std::size_t>(row)].checked = item->checkState() == Qt::Checked;
    MarkChanged();
  });
  connect(list_, &QListWidget::itemSelectionChanged, this, &AdvancedRulesPage::UpdateEnabling);
  connect(input_, &QLineEdit::textChanged, this, &AdvancedRulesPage::UpdateEnabling);
  connect(and_, &QRadioButton::toggled, this, [this](bool on) {
    rules_.advanced.joinAnd = on;
    MarkChanged();
  });
  connect(buttons_[0], &QPushButton::clicked, this, &AdvancedRulesPage::Add);
  connect(buttons_[1], &QPushButton::clicked, this, &AdvancedRulesPage::DeleteSelected);
  connect(buttons_[2], &QPushButton::clicked, this, &AdvancedRulesPage::DeleteAll);
  connect(buttons_[3], &QPushButton::clicked, this, &AdvancedRulesPage::LoadSelected);
  connect(buttons_[4], &QPushButton::clicked, this, &AdvancedRulesPage::Check);
}

QPushButton* AdvancedRulesPage::Button(const QString& text) const {
  for (QPushButton* b : buttons_) {
    if (b->text() == text) return b;
  }
  return nullptr;
}

void AdvancedRulesPage::Reload() {
  {
    const QSignalBlocker a(group_), b(list_), c(and_), d(or_);
    group_->setChecked(rules_.advanced.enabled);
    list_->clear();
    for (const AdvancedRule& r : rules_.advanced.rules) {
      auto* item = new QListWidgetItem(QString::fromStdString(r.text), list_);
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
      item->setCheckState(r.checked ? Qt::Checked : Qt::Unchecked);
    }
    and_->setChecked(rules_.advanced.joinAnd);
    or_->setChecked(!rules_.advanced.joinAnd);
  }
  UpdateEnabling();
}

void AdvancedRulesPage::UpdateEnabling() {
  const bool on = group_->isChecked();
  const bool typed = !input_->text().isEmpty();
  const bool selected = !list_->selectedItems().isEmpty();
  buttons_[0]->setEnabled(on && typed);                  // Add
  buttons_[1]->setEnabled(on && selected);               // Delete
  buttons_[2]->setEnabled(on && list_->count() > 0);     // Delete All
  buttons_[3]->setEnabled(on && selected);               // Load
  buttons_[4]->setEnabled(on && typed);                  // Check
}

void AdvancedRulesPage::Add() {
  const std::string text = input_->text().toStdString();
  if (text.empty() || !check_(text)) return;
  // Appended unchecked; the input keeps its text.
  rules_.advanced.rules.push_back({text, false});
  Reload();
  MarkChanged();
}

void AdvancedRulesPage::Check() {
  const std::string text = input_->text().toStdString();
  if (!text.empty() && check_(text)) correct_();
}

void AdvancedRulesPage::LoadSelected() {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  if (!selected.isEmpty()) input_->setText(selected.front()->text());
}

void AdvancedRulesPage::DeleteSelected() {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return;
  const int row = list_->row(selected.front());
  if (row < 0 || static_cast<std::size_t>(row) >= rules_.advanced.rules.size()) return;
  rules_.advanced.rules.erase(rules_.advanced.rules.begin() + row);
  Reload();
  MarkChanged();
}

void AdvancedRulesPage::DeleteAll() {
  rules_.advanced.rules.clear();
  Reload();
  MarkChanged();
}

}  // namespace qv
