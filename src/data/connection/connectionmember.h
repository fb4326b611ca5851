#pragma once
// What a connection asks of the data sets open on it: they register
// themselves (Connection::attach) so that it can close them, wait for their
// counts, and let them go when it is destroyed.

class ConnectionMember {
public:
    virtual void close() = 0;
    // Waits for a count under way and applies it.
    virtual void finishCount() = 0;
    virtual bool countPending() const = 0;
    // Opens are numbered in order.
    virtual int openedAs() const = 0;
    // The connection is being destroyed: close and forget it.
    virtual void connectionGone() = 0;

protected:
    ~ConnectionMember() = default;
};
