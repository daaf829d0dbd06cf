#include "Form1.h"
#include "file_io.h"
#include "qt_dialogs.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    tollamere::EnsureStandardStreamsOpen();
    QApplication application(argc, argv);

    tollamere::QtDialogs dialogs;
    tollamere::Form1Environment environment;
    environment.programFolder = QCoreApplication::applicationDirPath();
    tollamere::Form1 form(dialogs, environment);
    dialogs.SetOwner(&form);
    form.Form_Load();
    form.show();
    return application.exec();
}
