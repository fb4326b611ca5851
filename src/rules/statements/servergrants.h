#pragma once
// The rights of a desk's login on the server, in one place: the statements
// `tavrin --server-grants ROLE` prints for the owner to run in psql.  A desk
// reads and writes customers, the dictionary and calls; it makes, changes,
// clears, restores, uploads and compacts nothing.

#include <QString>

// The statements for the login `role`; empty with *error when the name
// cannot be a login's.
QString serverGrants(const QString& role, QString* error);
