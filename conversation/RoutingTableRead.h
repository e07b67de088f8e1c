#pragma once
#include <QObject>
#include <QPointer>
#include <QTimer>

#include "RoutingCells.h"

class TControllerSession;

// Reads the controller's routing table for use, not for show: "C", then only a whole, clean
// reply of 256 '0'/'1' counts. A reply that stops for 2 s ends the read as failed and stops the
// dump, so characters arriving later cannot be counted into a later read.
class TRoutingTableRead : public QObject {
    Q_OBJECT
public:
    static constexpr int kQuietLimitMs = 2000;

    explicit TRoutingTableRead(QObject* parent = nullptr);

    void SetSession(TControllerSession* session);

    // Sends "C". Exactly one of Read or Failed follows, unless Cancel comes first. A "C" that
    // cannot be written fails at once.
    void Start();
    void Cancel();
    bool Running() const { return running_; }

    // Shortens the silence that ends a read (tests).
    void SetQuietLimit(int ms) { quiet_.setInterval(ms); }

signals:
    void Read(const Routing::TRoutingCells& table);
    void Failed();

private:
    void Complete(const QByteArray& raw);
    void Quiet();
    void Finish(const Routing::TRoutingCells* table);

    QPointer<TControllerSession> session_;
    QTimer quiet_;
    bool running_ = false;
};
