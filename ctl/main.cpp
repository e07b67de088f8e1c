#include "Tool.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return RunTool(QCoreApplication::arguments().mid(1));
}
