// The document settings dialog: what a record shows, the OK checks with their
// messages and focus, what OK stores and what Cancel leaves alone.
#include "dialogs/frm_doc_set.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <map>

#include "fake_shell.h"
#include "gui_test_support.h"
#include "project/project_settings.h"

using tessarine::dialogs::FrmDocSet;
using tessarine::project::DocumentRecord;
using tessarine::project::kDocumentFields;
using tessarine::project::ProjectSettings;
using tessarine::testing::Control;
using tessarine::testing::FakeShell;

namespace {

// The option group a mode field is edited by; every other field's control is
// named by its kind's prefix and the field name.
const std::map<std::string_view, const char*> kOptionGroups = {{"HeadTitleMode", "optHeadTitle"},
                                                               {"MetaKeyMode", "optMetaKey"},
                                                               {"MetaDescMode", "optMetaDesc"},
                                                               {"OptimizeMode", "optOptimizeMode"}};

QString Name(const char* prefix, std::string_view field) {
  return QString::fromLatin1(prefix) + QString::fromLatin1(field.data(), field.size());
}

bool Enabled(QWidget* window, const char* name) {
  auto* widget = Control<QWidget>(window, name);
  return widget != nullptr && widget->isEnabled();
}

bool Ticked(QWidget* window, const char* name) {
  auto* box = Control<QCheckBox>(window, name);
  return box != nullptr && box->isChecked();
}

}  // namespace

class FrmDocSetTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void newRecordShowsDefaults();
  void okRefusesBadEntries_data();
  void okRefusesBadEntries();
  void okStoresTrimmedAndNormalisedEntries();
  void trimmedEntriesShowWhenLaterCheckFails();
  void cancelWritesNothing_data();
  void cancelWritesNothing();
  void enablingRulesFollowChoicesAndKeepTicks();
  void browseChangesPathButNotNodeName();
  void okWritesAllFields();
  void eachControlWritesItsOwnField_data();
  void eachControlWritesItsOwnField();
  void outOfRangeIndexStoresNothing();
  void keyboardFollowsReadingOrderAndEnterIsOk();
  void screenshots();

 private:
  // A project whose only record is a new one for `path`.
  static ProjectSettings OneDocument(const QString& path) {
    ProjectSettings settings;
    tessarine::project::AddDocumentRecord(settings, path.toStdString());
    return settings;
  }
  static void Click(QWidget* window, const char* name) {
    auto* button = Control<QAbstractButton>(window, name);
    QVERIFY2(button != nullptr, name);
    button->click();
  }

  QString folder_;
  QString report_;  // an existing Word file with an upper-case extension
  QString notes_;   // an existing file that is not a Word file
};

void FrmDocSetTest::initTestCase() {
  folder_ = tessarine::testing::TempFolder();
  report_ = folder_ + QStringLiteral("report.DOCX");
  notes_ = folder_ + QStringLiteral("notes.txt");
  for (const QString& path : {report_, notes_}) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
  }
}

void FrmDocSetTest::newRecordShowsDefaults() {
  QWidget parent;
  QPixmap icon_picture(16, 16);
  icon_picture.fill(Qt::red);
  parent.setWindowIcon(QIcon(icon_picture));
  ProjectSettings settings = OneDocument(report_);
  FakeShell shell;
  FrmDocSet dialog(settings, 1, shell, &parent);

  QCOMPARE(dialog.windowTitle(), QStringLiteral("文档设置：report.DOCX"));
  QCOMPARE(dialog.windowIcon().cacheKey(), parent.windowIcon().cacheKey());
  QCOMPARE(Control<QTabWidget>(&dialog, "tabSet")->currentIndex(), 0);
  QCOMPARE(Control<QLineEdit>(&dialog, "txtNodeName")->text(), QStringLiteral("report"));
  QCOMPARE(Control<QLineEdit>(&dialog, "txtFilenamePre")->text(), QStringLiteral("doc1"));

  const std::pair<const char*, QString> lists[] = {
      {"cboNumberlistRule", QStringLiteral("标准自动数字章节号")},
      {"cboFileNameRule", QStringLiteral("章节号(如：1.2.htm)")},
      {"cboParseLevel", QStringLiteral("9级")},
      {"cboExpandLevel", QStringLiteral("1级")}};
  for (const auto& [name, shown] : lists)
    QCOMPARE(Control<QComboBox>(&dialog, name)->currentText(), shown);
  QCOMPARE(Control<QComboBox>(&dialog, "cboParseLevel")->count(), 9);
  QCOMPARE(Control<QComboBox>(&dialog, "cboExpandLevel")->itemText(0), QStringLiteral("0级"));

  QCOMPARE(Control<QLineEdit>(&dialog, "txtTocIndent")->text(), QStringLiteral("..."));
  for (const char* name :
       {"chkToc", "chkRelative", "chkOpt1VML", "chkOpt1Absolute", "chkOpt1EQ", "chkOpt1Margin",
        "chkOpt2Image", "chkOpt2Table", "chkOpt2EQ", "chkOutlineHeadings"}) {
    QVERIFY2(Ticked(&dialog, name), name);
  }
  for (const char* name :
       {"chkHeader", "chkFooter", "chkHFHome", "chkOpt1Space", "chkOpt2Indent", "chkOpt2PtoBR",
        "chkOptPageWidth", "chkOptPageMargin", "chkOptPageEffect"}) {
    QVERIFY2(!Ticked(&dialog, name), name);
  }
  for (const char* name : {"optHeadTitle0", "optMetaKey0", "optMetaDesc0", "optOptimizeMode1"}) {
    QVERIFY2(Control<QRadioButton>(&dialog, name)->isChecked(), name);
  }
  for (const char* name : {"txtTocIndent", "txtRelativeTitle", "chkOpt1VML", "chkOptPageWidth"}) {
    QVERIFY2(Enabled(&dialog, name), name);
  }
  for (const char* name : {"txtHeadTitle", "txtMetaKey", "txtMetaDesc", "chkOpt2Image",
                           "chkOptPageMargin", "chkOptPageEffect"}) {
    QVERIFY2(!Enabled(&dialog, name), name);
  }
}

void FrmDocSetTest::okRefusesBadEntries_data() {
  QTest::addColumn<QString>("file");  // inside the test folder
  QTest::addColumn<QString>("prefix");
  QTest::addColumn<QString>("special");
  QTest::addColumn<QString>("message");
  QTest::addColumn<QString>("focus");  // empty: the focus stays where it was

  const QString bad_file = QStringLiteral("无效的 Word 文件，请检查指定路径下的文件是否存在！");
  const QString bad_prefix = QStringLiteral("无效的文件名前缀，不能为空，只允许英文字母和数字！");
  const QString reserved =
      QStringLiteral("无效的文件名前缀，不能为以下关键字：\r\ndefault, left, top");
  const QString bad_special = QStringLiteral("无效的文件名特例设置：\r\n");
  auto row = [](const char* name, const char* file, const QString& prefix, const QString& special,
                const QString& message, const char* focus) {
    QTest::newRow(name) << QString::fromLatin1(file) << prefix << special << message
                        << QString::fromLatin1(focus);
  };
  row("missing file", "missing.docx", "doc1", "", bad_file, "txtPath");
  row("not a Word file", "notes.txt", "doc1", "", bad_file, "txtPath");
  row("underscore", "report.DOCX", "doc_2", "", bad_prefix, "txtFilenamePre");
  row("inner space", "report.DOCX", "doc 2", "", bad_prefix, "txtFilenamePre");
  row("empty prefix", "report.DOCX", "  ", "", bad_prefix, "txtFilenamePre");
  row("reserved", "report.DOCX", "LEFT", "", reserved, "txtFilenamePre");
  row("no bar", "report.DOCX", "doc1", "a|b\nfaq", bad_special + "faq", "");
  row("two bars", "report.DOCX", "doc1", "a|b|c", bad_special + "a|b|c", "");
  const QString non_ascii = QStringLiteral("常见问题|常见");
  row("non-ASCII name", "report.DOCX", "doc1", non_ascii, bad_special + non_ascii, "");
}

void FrmDocSetTest::okRefusesBadEntries() {
  QFETCH(QString, file);
  QFETCH(QString, prefix);
  QFETCH(QString, special);
  QFETCH(QString, message);
  QFETCH(QString, focus);
  ProjectSettings settings = OneDocument(report_);
  const ProjectSettings before = settings;
  FakeShell shell;
  FrmDocSet dialog(settings, 1, shell);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowActive(&dialog));

  Control<QLineEdit>(&dialog, "txtPath")->setText(folder_ + file);
  Control<QLineEdit>(&dialog, "txtFilenamePre")->setText(prefix);
  auto* special_box = Control<QPlainTextEdit>(&dialog, "txtSpecialFileName");
  special_box->setPlainText(special);
  auto* tabs = Control<QTabWidget>(&dialog, "tabSet");
  tabs->setCurrentIndex(3);
  special_box->setFocus();
  Click(&dialog, "cmdOK");

  QCOMPARE(shell.messages.size(), 1);
  QCOMPARE(shell.messages[0].text, message);
  QVERIFY(shell.messages[0].icon == FakeShell::Icon::kError);
  QVERIFY(settings == before);
  QVERIFY(dialog.isVisible());
  if (focus.isEmpty()) {
    QCOMPARE(tabs->currentIndex(), 3);
    QCOMPARE(QApplication::focusWidget(), special_box);
  } else {
    auto* box = Control<QLineEdit>(&dialog, focus.toLatin1().constData());
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(QApplication::focusWidget(), box);
    QCOMPARE(box->selectedText(), box->text());
  }
}

void FrmDocSetTest::okStoresTrimmedAndNormalisedEntries() {
  ProjectSettings settings = OneDocument(notes_);
  FakeShell shell;
  FrmDocSet dialog(settings, 1, shell);
  Control<QLineEdit>(&dialog, "txtPath")->setText("  " + report_ + "  ");
  Control<QLineEdit>(&dialog, "txtFilenamePre")->setText(QStringLiteral(" Doc2 "));
  auto* special_box = Control<QPlainTextEdit>(&dialog, "txtSpecialFileName");
  special_box->setPlainText(QStringLiteral("  常见问题|faq  \n\n 下载|download-2.0\n"));
  Click(&dialog, "cmdOK");

  QVERIFY(shell.messages.isEmpty());
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  QVERIFY(settings.ProjectModified);
  const DocumentRecord& record = settings.Documents[0];
  QCOMPARE(QString::fromStdString(record.Path), report_);
  QCOMPARE(record.FileName, std::string("report.DOCX"));
  QCOMPARE(record.FilenamePre, std::string("Doc2"));
  QCOMPARE(record.SpecialFileName, std::string("常见问题|faq|||下载|download-2.0"));
  QCOMPARE(special_box->toPlainText(), QStringLiteral("常见问题|faq\n下载|download-2.0"));
}

void FrmDocSetTest::trimmedEntriesShowWhenLaterCheckFails() {
  ProjectSettings settings = OneDocument(report_);
  FakeShell shell;
  FrmDocSet dialog(settings, 1, shell);
  auto* path = Control<QLineEdit>(&dialog, "txtPath");
  auto* prefix = Control<QLineEdit>(&dialog, "txtFilenamePre");
  auto* special = Control<QPlainTextEdit>(&dialog, "txtSpecialFileName");
  path->setText(" " + report_ + " ");
  prefix->setText(QStringLiteral(" doc_2 "));
  special->setPlainText(QStringLiteral(" faq "));
  Click(&dialog, "cmdOK");
  QCOMPARE(path->text(), report_);
  QCOMPARE(prefix->text(), QStringLiteral("doc_2"));
  QCOMPARE(special->toPlainText(), QStringLiteral(" faq "));  // not reached yet

  prefix->setText(QStringLiteral("doc2"));
  Click(&dialog, "cmdOK");
  QCOMPARE(shell.messages.size(), 2);
  QCOMPARE(special->toPlainText(), QStringLiteral("faq"));
  QVERIFY(!settings.ProjectModified);
}

void FrmDocSetTest::cancelWritesNothing_data() {
  QTest::addColumn<int>("way");
  QTest::newRow("cmdCancel") << 0;
  QTest::newRow("Esc") << 1;
  QTest::newRow("close box") << 2;
}

void FrmDocSetTest::cancelWritesNothing() {
  QFETCH(int, way);
  ProjectSettings settings = OneDocument(report_);
  const ProjectSettings before = settings;
  FakeShell shell;
  FrmDocSet dialog(settings, 1, shell);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowActive(&dialog));
  Control<QLineEdit>(&dialog, "txtNodeName")->setText(QStringLiteral("changed"));
  Control<QCheckBox>(&dialog, "chkHeader")->setChecked(true);
  Click(&dialog, "optOptimizeMode2");

  if (way == 0) Click(&dialog, "cmdCancel");
  if (way == 1) QTest::keyClick(&dialog, Qt::Key_Escape);
  if (way == 2) dialog.close();
  QVERIFY(!dialog.isVisible());
  QCOMPARE(dialog.result(), int(QDialog::Rejected));
  QVERIFY(settings == before);
}

void FrmDocSetTest::enablingRulesFollowChoicesAndKeepTicks() {
  ProjectSettings settings = OneDocument(report_);
  FakeShell shell;
  FrmDocSet dialog(settings, 1, shell);
  Control<QLineEdit>(&dialog, "txtHeadTitle")->setText(QStringLiteral("固定标题"));

  // Each step: the control clicked, then the controls that must be enabled
  // and those that must be disabled afterwards.
  struct Step {
    const char* click;
    std::vector<const char*> enabled;
    std::vector<const char*> disabled;
  };
  const Step steps[] = {
      {"chkToc", {}, {"txtTocIndent"}},
      {"chkToc", {"txtTocIndent"}, {}},
      {"chkRelative", {}, {"txtRelativeTitle"}},
      {"optHeadTitle1", {"txtHeadTitle"}, {}},
      {"optHeadTitle0", {}, {"txtHeadTitle"}},
      {"optMetaKey1", {"txtMetaKey"}, {}},
      {"optMetaKey2", {"txtMetaKey"}, {}},
      {"optMetaKey0", {}, {"txtMetaKey"}},
      {"optMetaDesc1", {}, {"txtMetaDesc"}},
      {"optMetaDesc2", {"txtMetaDesc"}, {}},
      {"optOptimizeMode0", {"chkOptPageWidth"}, {"chkOpt1VML", "chkOpt1Space", "chkOpt2Image"}},
      {"optOptimizeMode2", {"chkOpt2Image", "chkOpt2PtoBR"}, {"chkOpt1VML", "chkOpt1Space"}},
      {"chkOptPageWidth", {"chkOptPageMargin", "chkOptPageEffect"}, {}},
      {"chkOptPageMargin", {}, {}},
      {"chkOptPageWidth", {}, {"chkOptPageMargin", "chkOptPageEffect"}},
      {"optOptimizeMode0", {}, {"chkOpt2Image"}},
  };
  for (const Step& step : steps) {
    Click(&dialog, step.click);
    for (const char* name : step.enabled) QVERIFY2(Enabled(&dialog, name), step.click);
    for (const char* name : step.disabled) QVERIFY2(!Enabled(&dialog, name), step.click);
  }

  // Disabling never clears, and OK stores the disabled controls as they stand.
  Click(&dialog, "cmdOK");
  QVERIFY(shell.messages.isEmpty());
  const DocumentRecord& record = settings.Documents[0];
  QCOMPARE(record.OptimizeMode, std::string("0"));
  QCOMPARE(record.Opt1VML, std::string("1"));
  QCOMPARE(record.Opt2Image, std::string("1"));
  QCOMPARE(record.OptPageWidth, std::string("0"));
  QCOMPARE(record.OptPageMargin, std::string("1"));
  QCOMPARE(record.HeadTitleMode, std::string("0"));
  QCOMPARE(record.HeadTitle, std::string("固定标题"));
  QCOMPARE(record.Relative, std::string("0"));
}

void FrmDocSetTest::browseChangesPathButNotNodeName() {
  TESSARINE_QSKIP_WITHOUT_CORPUS();
  ProjectSettings settings = OneDocument(report_);
  FakeShell shell;
  FrmDocSet dialog(settings, 1, shell);
  auto* path = Control<QLineEdit>(&dialog, "txtPath");

  Click(&dialog, "cmdPath");  // the user cancels the chooser
  QCOMPARE(path->text(), report_);
  QVERIFY(shell.last_filter.startsWith(QStringLiteral("Word文档(*.doc,*.docx)")));
  QVERIFY(shell.last_filter.contains(QStringLiteral("*.doc *.docx")));
  QVERIFY(!shell.last_multiple);

  const QString other = QString::fromStdString(
      tessarine::testing::SharedPath("corpus/docx/docx4j__sample-docx.docx"));
  QVERIFY(QFileInfo::exists(other));
  shell.open_files_answers.append(QStringList{other});
  Click(&dialog, "cmdPath");
  QCOMPARE(path->text(), other);
  QCOMPARE(Control<QLineEdit>(&dialog, "txtNodeName")->text(), QStringLiteral("report"));

  Click(&dialog, "cmdOK");
  QVERIFY(shell.messages.isEmpty());
  const DocumentRecord& record = settings.Documents[0];
  QCOMPARE(QString::fromStdString(record.Path), other);
  QCOMPARE(record.FileName, std::string("docx4j__sample-docx.docx"));
  QCOMPARE(record.NodeName, std::string("report"));
}

void FrmDocSetTest::okWritesAllFields() {
  ProjectSettings settings;
  settings.Documents.push_back({});
  settings.Documents.push_back({report_.toStdString(),
                                "report.DOCX",
                                "用户指南",
                                "2",
                                "Guide7",
                                "1",
                                "1",
                                "1",
                                "1",
                                "0",
                                "--",
                                "0",
                                "相关主题",
                                "3",
                                "9",
                                "1",
                                "标题",
                                "2",
                                "a,b",
                                "1",
                                "描述",
                                "常见问题|faq|||下载|download",
                                "2",
                                "0",
                                "0",
                                "0",
                                "0",
                                "1",
                                "0",
                                "0",
                                "0",
                                "1",
                                "1",
                                "1",
                                "1",
                                "1",
                                "0"});
  const DocumentRecord stored = settings.Documents[1];
  for (const auto& field : kDocumentFields) {
    QVERIFY2(stored.*field.member != DocumentRecord{}.*field.member, field.name.data());
  }
  FakeShell shell;
  FrmDocSet dialog(settings, 2, shell);
  // What the record's modes enable on loading.
  for (const char* name : {"txtHeadTitle", "txtMetaKey", "chkOpt2Image", "chkOptPageMargin"}) {
    QVERIFY2(Enabled(&dialog, name), name);
  }
  for (const char* name : {"txtTocIndent", "txtRelativeTitle", "txtMetaDesc", "chkOpt1VML"}) {
    QVERIFY2(!Enabled(&dialog, name), name);
  }
  Click(&dialog, "cmdOK");
  QVERIFY(shell.messages.isEmpty());
  QVERIFY(settings.ProjectModified);
  QVERIFY(settings.Documents[1] == stored);
  QVERIFY(settings.Documents[0] == DocumentRecord{});
}

void FrmDocSetTest::eachControlWritesItsOwnField_data() {
  QTest::addColumn<int>("field");
  for (size_t i = 0; i < kDocumentFields.size(); ++i) {
    const std::string_view name = kDocumentFields[i].name;
    if (name == "Path" || name == "FileName" || name == "SpecialFileName") continue;
    QTest::newRow(name.data()) << static_cast<int>(i);
  }
}

// A swapped pair of controls would survive a round trip; changing one control
// at a time shows which field each one writes.
void FrmDocSetTest::eachControlWritesItsOwnField() {
  QFETCH(int, field);
  const auto& [name, member] = kDocumentFields[static_cast<size_t>(field)];
  ProjectSettings settings = OneDocument(report_);
  const DocumentRecord before = settings.Documents[0];
  FakeShell shell;
  FrmDocSet dialog(settings, 1, shell);

  if (auto* line = dialog.findChild<QLineEdit*>(Name("txt", name))) {
    line->setText(line->text() + QStringLiteral("x"));
  } else if (auto* box = dialog.findChild<QCheckBox*>(Name("chk", name))) {
    box->toggle();
  } else if (auto* list = dialog.findChild<QComboBox*>(Name("cbo", name))) {
    list->setCurrentIndex((list->currentIndex() + 1) % list->count());
  } else if (auto found = kOptionGroups.find(name); found != kOptionGroups.end()) {
    auto* group = dialog.findChild<QButtonGroup*>(QString::fromLatin1(found->second));
    QVERIFY(group != nullptr);
    group->button((group->checkedId() + 1) % group->buttons().size())->click();
  } else {
    QFAIL("no control for this field");
  }
  Click(&dialog, "cmdOK");
  QVERIFY(shell.messages.isEmpty());

  const DocumentRecord& after = settings.Documents[0];
  QVERIFY(after.*member != before.*member);
  for (const auto& other : kDocumentFields) {
    if (other.member != member)
      QVERIFY2(after.*other.member == before.*other.member, other.name.data());
  }
}

void FrmDocSetTest::outOfRangeIndexStoresNothing() {
  ProjectSettings settings = OneDocument(report_);
  const ProjectSettings before = settings;
  FakeShell shell;
  FrmDocSet dialog(settings, 2, shell);
  QVERIFY(!Enabled(&dialog, "cmdOK"));
  Click(&dialog, "cmdOK");
  QVERIFY(settings == before);
}

void FrmDocSetTest::keyboardFollowsReadingOrderAndEnterIsOk() {
  ProjectSettings settings = OneDocument(report_);
  FakeShell shell;
  FrmDocSet dialog(settings, 1, shell);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowActive(&dialog));
  QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("txtPath"));
  QStringList reached;
  for (int i = 0; i < 15; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    reached << QApplication::focusWidget()->objectName();
  }
  QCOMPARE(reached.join(' '),
           QStringLiteral("cmdPath txtNodeName cboNumberlistRule txtFilenamePre "
                          "cboFileNameRule chkToc txtTocIndent chkHeader chkFooter "
                          "chkHFHome cboParseLevel cboExpandLevel chkOutlineHeadings chkRelative "
                          "txtRelativeTitle"));

  QTest::keyClick(Control<QLineEdit>(&dialog, "txtNodeName"), Qt::Key_Return);
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  QVERIFY(settings.ProjectModified);
}

void FrmDocSetTest::screenshots() {
  TESSARINE_QSKIP_WITHOUT_CORPUS();
  const QString document = QString::fromStdString(tessarine::testing::SharedPath(
      "corpus/docx/chatchat__核电厂定期安全审查指南 第1部分：通用要求（征求意见稿）.docx"));
  ProjectSettings settings = OneDocument(document);
  settings.Documents[0].SpecialFileName = "常见问题|faq|||下载|download";
  settings.Documents[0].RelativeTitle = "相关主题";
  FakeShell shell;
  FrmDocSet dialog(settings, 1, shell);
  auto* tabs = Control<QTabWidget>(&dialog, "tabSet");
  const char* names[] = {"doc_set_general", "doc_set_cleanup", "doc_set_head", "doc_set_special"};
  for (int i = 0; i < 4; ++i) {
    tabs->setCurrentIndex(i);
    QVERIFY(QFileInfo::exists(
        tessarine::testing::SaveScreenshot(&dialog, QString::fromLatin1(names[i]))));
  }
}

QTEST_MAIN(FrmDocSetTest)
#include "frm_doc_set_test.moc"
