#pragma once
// "存为新客户": what the operator typed on a call record about the caller
// (the customer columns the call table shares with the customer table)
// becomes a new customer, so that the next call from the number is a known
// caller's.  The call record keeps what was typed.

class DataModule;

// Stores a pending edit of the current call record first, then appends the
// customer to the customer list.  False when there is no call record to
// take (or its edit could not be stored, which is reported).  Errors of the
// customer's store are thrown.
bool saveCallAsCustomer(DataModule& dm);
