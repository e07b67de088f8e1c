#pragma once
// A fresh temporary folder as the working directory for as long as the object lives: the console
// reads and writes config.ini there. The earlier working directory comes back afterwards.
#include <QDir>
#include <QTemporaryDir>

class TWorkingFolder {
public:
    TWorkingFolder() : previous_(QDir::currentPath())
    {
        if (dir_.isValid())
            QDir::setCurrent(dir_.path());
    }
    ~TWorkingFolder() { QDir::setCurrent(previous_); }
    TWorkingFolder(const TWorkingFolder&) = delete;
    TWorkingFolder& operator=(const TWorkingFolder&) = delete;

    bool IsValid() const { return dir_.isValid(); }
    QString Path() const { return dir_.path(); }
    QString FilePath(const QString& name) const { return dir_.filePath(name); }

private:
    QString previous_;
    QTemporaryDir dir_;
};
