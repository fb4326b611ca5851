#pragma once
// Where the server's password is kept: in the desktop's keyring (the
// Secret Service: GNOME Keyring, KWallet) where one answers, and only where
// none does in set/database.dat, which its owner alone may read.  The
// settings window says which.

#include <QString>

#include "rules/settings/databaselocation.h"

namespace passwordstore {

enum class Place { Nowhere, Keyring, File };

// Saves the choice in `file` and its password in the keyring when one
// answers, else in the file.  Throws FileError when the file cannot be
// written.
Place save(const QString& file, const DatabaseLocation& where);

// The choice in `file` with its password, from the keyring when it is kept
// there (none when the keyring does not answer: libpq then looks in
// ~/.pgpass).
DatabaseLocation read(const QString& file);

// Where the password of the choice in `file` is kept.
Place placeOf(const QString& file);
// The settings window's line about it; empty for Nowhere.
QString placeText(Place place);

// How long an answer of the keyring is waited for (a locked keyring asks
// for its password meanwhile); tests make it short.
void setWaitMs(int ms);

}  // namespace passwordstore
