#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

namespace mx40d::ui {

// One monitor per user: the first start listens on a local socket named for the user; a
// later start finds it, asks it to come forward and ends without a window. A lock file keeps
// two starts at the same moment from both becoming the first. (On Windows the same role
// falls to a named mutex and the other window's handle; this class is that seam.)
class SingleInstance : public QObject {
    Q_OBJECT

  public:
    // `key` names the instance; "mx40d" for the monitor.
    explicit SingleInstance(const QString& key, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first and now answers later starts; false when another
    // runs (it has been asked to come forward).
    bool claim();
    QString serverName() const { return name_; }

  signals:
    // A later start asked this one to come forward.
    void raiseRequested();

  private:
    bool askRunningToRaise();

    QString name_;
    QString lockPath_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace mx40d::ui
