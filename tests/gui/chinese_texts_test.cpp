// Every text the windows show is Chinese: with Qt's Chinese translations
// installed, the widget tree of every window and of the standard dialogs Qt
// draws for us (message boxes, file and folder choosers) holds no English
// word besides product names, file formats and the technical terms the
// captions use. Screenshots of the standard dialogs go beside the others.
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSet>
#include <QTabBar>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <algorithm>

#include "app/frm_about.h"
#include "app/frm_batch.h"
#include "app/frm_main.h"
#include "app/start_up.h"
#include "dialogs/frm_doc_set.h"
#include "dialogs/frm_template_preview.h"
#include "fake_shell.h"
#include "gui_test_support.h"
#include "project/document_list.h"
#include "support/files.h"

using tessarine::dialogs::Shell;
using tessarine::testing::FakeShell;

namespace {

// Names and terms that stay as they are in a Chinese text.
const QSet<QString> kKeptWords = {
    // product names
    "Tessarine", "Word", "Qt", "MIT", "LibreOffice",
    // formats, encodings and markup the captions name
    "HTML", "Meta", "LOGO", "logo", "VML", "BR", "ANSI", "UTF", "gb", "gbk", "utf", "htm", "html",
    "gif", "jpg", "doc", "docx", "tsn",
    // the example page names the tooltips give
    "faq", "toc",
    // key names
    "Esc", "Ctrl", "Alt", "Shift", "Enter", "Del", "Ins"};

// The texts a user can read on `root` and every widget in it: captions,
// labels, buttons, frames, tabs, list headers, fixed list entries, hints and
// tooltips, and the texts of their actions. What the user typed or chose
// (line edits, editable boxes, file lists) is data, not the program's.
QStringList TextsOf(QWidget* root) {
  QStringList texts{root->windowTitle()};
  QList<QWidget*> widgets = root->findChildren<QWidget*>();
  widgets.prepend(root);
  for (QWidget* widget : widgets) {
    texts << widget->toolTip() << widget->whatsThis();
    if (auto* label = qobject_cast<QLabel*>(widget)) texts << label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) texts << button->text();
    if (auto* frame = qobject_cast<QGroupBox*>(widget)) texts << frame->title();
    if (auto* line = qobject_cast<QLineEdit*>(widget)) texts << line->placeholderText();
    if (auto* tabs = qobject_cast<QTabBar*>(widget)) {
      for (int i = 0; i < tabs->count(); ++i) texts << tabs->tabText(i) << tabs->tabToolTip(i);
    }
    if (auto* list = qobject_cast<QTreeWidget*>(widget)) {
      for (int i = 0; i < list->columnCount(); ++i) texts << list->headerItem()->text(i);
    } else if (auto* view = qobject_cast<QTreeView*>(widget);
               view != nullptr && view->model() != nullptr) {
      // A file list: the columns after the names (type, size, date).
      const QAbstractItemModel* model = view->model();
      for (int row = 0; row < std::min(model->rowCount(view->rootIndex()), 20); ++row) {
        for (int column = 1; column < model->columnCount(view->rootIndex()); ++column) {
          texts << model->index(row, column, view->rootIndex()).data().toString();
        }
      }
    }
    if (auto* box = qobject_cast<QComboBox*>(widget); box != nullptr && !box->isEditable()) {
      for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
    }
    for (QAction* action : widget->actions()) texts << action->text() << action->toolTip();
  }
  texts.removeAll(QString());
  return texts;
}

// The English words of `texts` that are not kept words, each with its text.
// Markup, paths and file names are left out first.
QStringList EnglishWords(const QStringList& texts) {
  static const QRegularExpression markup(QStringLiteral("<[^>]*>|&\\w+;"));
  static const QRegularExpression path(QStringLiteral("(~|\\.)?(/[^\\s/]+)+/?"));
  static const QRegularExpression file(QStringLiteral("[\\w.-]+\\.(docx?|html?|tsn)\\b"));
  static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
  QStringList found;
  for (QString text : texts) {
    text.remove(markup).remove(path).remove(file);
    for (const auto& match : word.globalMatch(text)) {
      if (!kKeptWords.contains(match.captured())) found << match.captured() + " in: " + text;
    }
  }
  return found;
}

// Runs `open` (which shows a modal dialog) and gives the dialog's texts,
// saving a screenshot of it under `name` on the way.
QStringList TextsOfModal(const std::function<void()>& open, const QString& name) {
  QStringList texts;
  tessarine::testing::WhenModalShown([&texts, name](QWidget* dialog) {
    QTest::qWait(50);
    texts = TextsOf(dialog);
    tessarine::testing::SaveScreenshot(dialog, name);
    dialog->close();
  });
  open();
  return texts;
}

}  // namespace

class ChineseTextsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    tessarine::app::NameApplication();
    QVERIFY2(tessarine::app::InstallTranslations(), "Qt's Chinese translations are missing");
  }

  void OurWindowsAreChinese() {
    FakeShell shell;
    tessarine::app::FrmMain main(shell, tessarine::support::DataFolder());
    main.AddDocuments({QStringLiteral("/docs/release-notes.docx")});
    QStringList texts = TextsOf(&main);
    tessarine::app::FrmBatch batch(shell, &main);
    texts << TextsOf(&batch);
    tessarine::dialogs::FrmDocSet settings(main.settings(), 1, shell, &main);
    texts << TextsOf(&settings);
    tessarine::dialogs::FrmTemplatePreview gallery(
        {QStringLiteral("default"), QStringLiteral("paper")},
        QString::fromStdString(tessarine::support::DataFolder()) + QStringLiteral("template/"),
        &main, QStringLiteral("default"));
    texts << TextsOf(&gallery);
    tessarine::app::FrmAbout about(&main);
    texts << TextsOf(&about);
    QVERIFY(texts.size() > 150);
    const QStringList english = EnglishWords(texts);
    QVERIFY2(english.isEmpty(), qPrintable(english.join(QLatin1Char('\n'))));
  }

  void QtsOwnDialogsAreChinese() {
    Shell& desktop = tessarine::dialogs::DesktopShell();
    QWidget owner;
    QStringList texts = TextsOfModal(
        [&] {
          desktop.ShowMessage(&owner, QStringLiteral("生成出错，原因：\r\n用户中断"),
                              Shell::Icon::kError, QStringLiteral("/tmp/a.docx: 说明"));
        },
        QStringLiteral("message_box"));
    texts << TextsOfModal([&] { desktop.AskOkCancel(&owner, QStringLiteral("新建？")); },
                          QStringLiteral("question_box"));
    texts << TextsOfModal(
        [&] {
          desktop.ChooseOpenFiles(&owner, QStringLiteral("新增 Word 文档"),
                                  QStringLiteral("Word 文档(*.doc,*.docx) (*.doc *.docx)"), true);
        },
        QStringLiteral("file_dialog"));
    texts << TextsOfModal(
        [&] { desktop.ChooseFolder(&owner, QStringLiteral("选择输出文件夹："), QDir::tempPath()); },
        QStringLiteral("folder_dialog"));
    QVERIFY(texts.contains(QStringLiteral("确定")));
    const QStringList english = EnglishWords(texts);
    QVERIFY2(english.isEmpty(), qPrintable(english.join(QLatin1Char('\n'))));
  }
};

QTEST_MAIN(ChineseTextsTest)
#include "chinese_texts_test.moc"
