#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vell"));
    QTextStream(stderr) << "Vell: the desktop application is not assembled yet.\n";
    return 0;
}
