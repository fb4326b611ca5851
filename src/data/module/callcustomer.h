#pragma once
// "存为新客户": what the operator typed on a call record about the caller
// (the customer columns the call table shares with the customer table)
// becomes a new customer, so that the next call from the number is a known
// caller's.  The call record keeps what was typed.
//
// A number that is already a customer's is not stored a second time: the
// caller is told whose it is instead.

#include <QString>

class DataModule;

struct SavedAsCustomer {
    enum class Outcome {
        Saved,    // the new customer is stored and current in the customer list
        Nothing,  // no call record to take (or its edit could not be stored, which is reported)
        Known,    // a customer already has one of the call's numbers; nothing stored
    };
    Outcome outcome = Outcome::Nothing;
    qint64 knownKey = 0;   // for Known: that customer's ID
    QString knownName;     // and its 联系人 and 公司名称
    QString knownNumber;   // the call's number it has
};

// Stores a pending edit of the current call record first, then appends the
// customer to the customer list, unless a customer has one of the record's
// numbers (手机, 电话, 宅电, compared as digits).  Errors of the customer's
// store are thrown.
SavedAsCustomer saveCallAsCustomer(DataModule& dm);

// The customer whose 手机, 电话 or 宅电 has the digits of `number`: its ID,
// or 0 when there is none.  *name gets its 联系人 and 公司名称.
qint64 customerWithNumber(DataModule& dm, const QString& number, QString* name = nullptr);
