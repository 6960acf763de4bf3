#include "ui/filters_page.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "capture/capture_filter.h"
#include "filters/filter_apply.h"
#include "filters/filter_preview.h"
#include "filters/rule_file.h"
#include "ui/filter_rule_pages.h"

namespace qv {

namespace {

constexpr const char* kCaption = "Quorvanet";
const QString kRuleFilter = QStringLiteral("Rule file(*.rul)");
// libpcap's own manual page of its filter language.
const char* const kFilterManualUrl = "https://www.tcpdump.org/manpages/pcap-filter.7.html";

}  // namespace

CFiltersPage::CFiltersPage(CTalvenorDoc& doc, UserPrompt& prompt, std::string programFolder, QWidget* parent)
    : QWidget(parent), doc_(doc), prompt_(prompt), defaultFile_(programFolder + kDefaultRuleFileName) {
  setObjectName(QStringLiteral("Filters"));
  auto* layout = new QVBoxLayout(this);

  auto* strip = new QHBoxLayout;
  auto button = [&](const char* text) {
    auto* b = new QPushButton(QString::fromLatin1(text), this);
    strip_.push_back(b);
    strip->addWidget(b);
    return b;
  };
  connect(button("Apply"), &QPushButton::clicked, this, [this] { Apply(); });
  connect(button("Load"), &QPushButton::clicked, this, [this] { LoadRules(); });
  connect(button("Save"), &QPushButton::clicked, this, [this] { SaveRules(); });
  strip->addSpacing(16);
  strip->addWidget(new QLabel(QStringLiteral("Operator to join rules:"), this));
  and_ = button("AND");
  or_ = button("OR");
  for (QPushButton* b : {and_, or_}) {
    b->setCheckable(true);
    // Every click flips the operator, whichever of the two is clicked.
    connect(b, &QPushButton::clicked, this, [this] { FlipOperator(); });
  }
  strip->addStretch();
  connect(button("About filters"), &QPushButton::clicked, this, [this] { OpenFilterManual(); });
  layout->addLayout(strip);

  auto* previewRow = new QHBoxLayout;
  previewRow->addWidget(new QLabel(QStringLiteral("Filter:"), this));
  preview_ = new QLineEdit(this);
  preview_->setReadOnly(true);
  preview_->setObjectName(QStringLiteral("FilterPreview"));
  previewRow->addWidget(preview_, 1);
  mark_ = new QLabel(this);
  mark_->setFixedWidth(22);
  mark_->setAlignment(Qt::AlignCenter);
  previewRow->addWidget(mark_);
  layout->addLayout(previewRow);
  auto* traps = new QLabel(QString::fromUtf8(kFilterTrapsWarning), this);
  traps->setWordWrap(true);
  traps->setStyleSheet(QStringLiteral("color: rgb(128,96,0);"));
  // Beside the warning it answers.
  auto* trapsRow = new QHBoxLayout;
  trapsRow->addWidget(traps, 1);
  matchVlan_ = new QCheckBox(QStringLiteral("Match VLAN-tagged frames too"), this);
  matchVlan_->setToolTip(QStringLiteral("The rules also accept frames with an 802.1Q tag: (rules) or (vlan and (rules))"));
  connect(matchVlan_, &QCheckBox::toggled, this, &CFiltersPage::UpdatePreview);
  trapsRow->addWidget(matchVlan_);
  layout->addLayout(trapsRow);

  tabs_ = new QTabWidget(this);
  auto tell = [this](const std::string& text) { Tell(text); };
  pages_ = {
      new ProtocolRulesPage(rules_, ProtocolPage::Eth, QStringLiteral("ETHERNET PROTOCOLS"), tabs_),
      new ProtocolRulesPage(rules_, ProtocolPage::Ip, QStringLiteral("IP PROTOCOLS"), tabs_),
      new ProtocolRulesPage(rules_, ProtocolPage::Tcp, QStringLiteral("TCP RULES"), tabs_),
      new ProtocolRulesPage(rules_, ProtocolPage::Icmp, QStringLiteral("ICMP RULES"), tabs_),
      new SizeRulesPage(rules_, tabs_),
      new AddressRulesPage(rules_, AddressRulesPage::Kind::Mac, tell, tabs_),
      new AddressRulesPage(rules_, AddressRulesPage::Kind::Ip, tell, tabs_),
      new AddressRulesPage(rules_, AddressRulesPage::Kind::Port, tell, tabs_),
      new AdvancedRulesPage(
          rules_, [this](const std::string& text) { return CheckFilterExpression(doc_, text, prompt_); },
          [this] { Tell(kFilterCorrectMessage, MessageIcon::Information); }, tabs_),
  };
  const char* const titles[] = {"ETH rules", "IP rules", "TCP rules", "ICMP rules", "Size",
                                "MAC addr",  "IP addr",  "Ports",     "Advanced rules"};
  for (std::size_t i = 0; i < pages_.size(); ++i) {
    tabs_->addTab(pages_[i], QString::fromLatin1(titles[i]));
    connect(pages_[i], &RulePage::changed, this, &CFiltersPage::UpdatePreview);
    connect(pages_[i], &RulePage::applyRequested, this, [this] { Apply(); });
  }
  layout->addWidget(tabs_, 1);

  // The last state returns; a missing or damaged file leaves the initial one.
  const RuleFileRead saved = ReadRuleFile(defaultFile_);
  if (saved.status == RuleFileStatus::Ok) rules_ = saved.rules;
  for (RulePage* p : pages_) p->Reload();
  ShowOperator();
  UpdatePreview();
}

CFiltersPage::~CFiltersPage() { WriteRuleFile(defaultFile_, rules_); }

void CFiltersPage::Tell(const std::string& text, MessageIcon icon) { prompt_.ShowMessage(text, kCaption, icon); }

QPushButton* CFiltersPage::StripButton(const QString& text) const {
  for (QPushButton* b : strip_) {
    if (b->text() == text) return b;
  }
  return nullptr;
}

void CFiltersPage::SetRules(const FilterRules& rules) {
  rules_ = rules;
  for (RulePage* p : pages_) {
    p->Reload();
    // A loaded state is a change on every page: while capturing, each page
    // can apply it.
    p->MarkChanged();
  }
  ShowOperator();
  UpdatePreview();
}

bool CFiltersPage::Apply() { return ApplyFilter(doc_, rules_, prompt_, BuildOptions()); }

bool CFiltersPage::MatchVlan() const { return matchVlan_->isChecked(); }

void CFiltersPage::SetMatchVlan(bool on) { matchVlan_->setChecked(on); }

void CFiltersPage::FlipOperator() {
  rules_.joinAnd = !rules_.joinAnd;
  ShowOperator();
  UpdatePreview();
}

void CFiltersPage::ShowOperator() {
  and_->setChecked(rules_.joinAnd);
  or_->setChecked(!rules_.joinAnd);
}

void CFiltersPage::LoadRules() {
  const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Load"), QStringLiteral("rule.rul"), kRuleFilter);
  if (!path.isEmpty()) LoadRules(path);
}

bool CFiltersPage::LoadRules(const QString& path) {
  const RuleFileRead read = ReadRuleFile(path.toStdString());
  if (read.status != RuleFileStatus::Ok) {
    Tell(RuleFileMessage(read.status, path.toStdString()), MessageIcon::Error);
    return false;
  }
  SetRules(read.rules);
  return true;
}

void CFiltersPage::SaveRules() {
  QFileDialog dialog(this, QStringLiteral("Save"), QString(), kRuleFilter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("rul"));
  dialog.selectFile(QStringLiteral("rule"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  SaveRules(dialog.selectedFiles().front());
}

bool CFiltersPage::SaveRules(const QString& path) {
  if (WriteRuleFile(path.toStdString(), rules_)) return true;
  Tell(RuleFileMessage(RuleFileStatus::NotOpened, path.toStdString()), MessageIcon::Error);
  return false;
}

void CFiltersPage::OpenFilterManual() {
  // The installed manual page, as plain text, when man has it; otherwise
  // libpcap's page on the web. man runs beside the interface, not in it.
  auto* man = new QProcess(this);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("MANWIDTH"), QStringLiteral("100"));
  man->setProcessEnvironment(env);
  connect(man, &QProcess::finished, this, [man](int code, QProcess::ExitStatus status) {
    const QByteArray text = man->readAllStandardOutput();
    man->deleteLater();
    if (status == QProcess::NormalExit && code == 0 && !text.isEmpty()) {
      QFile file(QDir::temp().filePath(QStringLiteral("quorvanet-pcap-filter.7.txt")));
      if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size()) {
        file.close();
        QDesktopServices::openUrl(QUrl::fromLocalFile(file.fileName()));
        return;
      }
    }
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kFilterManualUrl)));
  });
  connect(man, &QProcess::errorOccurred, this, [man](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    man->deleteLater();
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kFilterManualUrl)));
  });
  man->start(QStringLiteral("man"), {QStringLiteral("7"), QStringLiteral("pcap-filter")});
}

bool CFiltersPage::TickProtocol(const std::string& name) {
  for (const auto& [page, tab] : {std::pair{ProtocolPage::Eth, 0}, std::pair{ProtocolPage::Ip, 1}}) {
    const std::vector<std::string_view>& keywords = ProtocolKeywords(page);
    for (std::size_t row = 0; row < keywords.size(); ++row) {
      if (keywords[row] != name) continue;
      tabs_->setCurrentIndex(tab);
      if (rules_.Protocol(page).Checked(row)) return true;
      rules_.Protocol(page).SetChecked(row, true);
      pages_[static_cast<std::size_t>(tab)]->Reload();
      pages_[static_cast<std::size_t>(tab)]->MarkChanged();
      return true;
    }
  }
  return false;
}

void CFiltersPage::SetCapturing(bool capturing) {
  for (RulePage* p : pages_) p->SetCapturing(capturing);
}

void CFiltersPage::UpdatePreview() {
  const std::string expression = Expression();
  preview_->setText(QString::fromStdString(expression));
  // Compiled as the adapter in use would: its link type (Ethernet before the
  // first capture) and its netmask where one is known.
  const std::optional<Adapter> adapter = doc_.ChosenAdapter();
  const std::uint32_t netmask =
      adapter && adapter->name != "any" ? AdapterNetmask(adapter->name) : PCAP_NETMASK_UNKNOWN;
  const FilterCompile compiled = CompileOffline(expression, doc_.LinkType(), netmask);
  previewOk_ = compiled.ok;
  mark_->setText(previewOk_ ? QStringLiteral("✔") : QStringLiteral("✘"));
  mark_->setStyleSheet(previewOk_ ? QStringLiteral("color: green; font-weight: bold;")
                                  : QStringLiteral("color: red; font-weight: bold;"));
  mark_->setToolTip(previewOk_ ? QStringLiteral("libpcap compiles this expression")
                               : QString::fromStdString(compiled.error));
  emit rulesChanged();
}

}  // namespace qv
