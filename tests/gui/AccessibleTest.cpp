// What a screen reader finds in the main window: the name and role of every
// field, button and the progress bar, read through the accessibility tree.
#include <QAccessible>
#include <QGuiApplication>
#include <QTest>

#include "Mandelbrot.h"

class TAccessibleTest : public QObject {
  Q_OBJECT

 private slots:
  void namesAndRoles() {
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&form);
    QVERIFY(window);

    const QString region = "Obszar poddawany analizie: ", box = QString::fromUtf8("Zbie\xc5\xbcnosc ci\xc4\x85gu w: ");
    const struct {
      QWidget* control;
      QString name;
      QAccessible::Role role;
    } expected[] = {
        {form.Edit1, region + "Cremin", QAccessible::EditableText},
        {form.Edit2, region + "Cremax", QAccessible::EditableText},
        {form.Edit3, region + "Cimmin", QAccessible::EditableText},
        {form.Edit4, region + "Cimmax", QAccessible::EditableText},
        {form.Edit5, box + "Cremin", QAccessible::EditableText},
        {form.Edit7, box + "Cremax", QAccessible::EditableText},
        {form.Edit8, box + "Cimmin", QAccessible::EditableText},
        {form.Edit9, box + "Cimmax", QAccessible::EditableText},
        {form.Edit6, "Csample", QAccessible::EditableText},
        {form.Button1, "Mandelbrot", QAccessible::Button},
        {form.Button2, "Julia", QAccessible::Button},
        {form.ProgressBar1, QString::fromUtf8("Post\xc4\x99p"), QAccessible::ProgressBar},
    };
    for (const auto& e : expected) {
      QAccessibleInterface* control = QAccessible::queryAccessibleInterface(e.control);
      QVERIFY(control);
      QCOMPARE(control->text(QAccessible::Name), e.name);
      QCOMPARE(control->role(), e.role);
      QVERIFY(window->indexOfChild(control) >= 0);
    }
  }

  // The running window maps to the desktop entry of the same id.
  void desktopFileName() { QCOMPARE(QGuiApplication::desktopFileName(), QString(WIROLOT_APP_ID)); }
};

int main(int argc, char* argv[]) {
  TApplication application(argc, argv);
  Application->Initialize();
  TAccessibleTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "AccessibleTest.moc"
