#pragma once
// The customer card's controls in a main window, found by their names.

#include <QPushButton>

#include "ui/kit/dbcontrols.h"
#include "testutil.h"

struct CardControls {
    explicit CardControls(const QObject* w) : window(w) {}
    const QObject* window;
    DBEdit* webField = testutil::named<DBEdit>(window, QStringLiteral("webField"));
    DBEdit* postCodeField = testutil::named<DBEdit>(window, QStringLiteral("postCodeField"));
    DBEdit* contactField = testutil::named<DBEdit>(window, QStringLiteral("contactField"));
    DBEdit* phoneField = testutil::named<DBEdit>(window, QStringLiteral("phoneField"));
    DBEdit* mobileField = testutil::named<DBEdit>(window, QStringLiteral("mobileField"));
    DBEdit* homePhoneField = testutil::named<DBEdit>(window, QStringLiteral("homePhoneField"));
    DBEdit* companyField = testutil::named<DBEdit>(window, QStringLiteral("companyField"));
    DBEdit* addressField = testutil::named<DBEdit>(window, QStringLiteral("addressField"));
    DBEdit* emailField = testutil::named<DBEdit>(window, QStringLiteral("emailField"));
    DBEdit* qqField = testutil::named<DBEdit>(window, QStringLiteral("qqField"));
    DBEdit* msnField = testutil::named<DBEdit>(window, QStringLiteral("msnField"));
    DBComboBox* departmentField = testutil::named<DBComboBox>(window, QStringLiteral("departmentField"));
    DBComboBox* positionField = testutil::named<DBComboBox>(window, QStringLiteral("positionField"));
    DBComboBox* category1Field = testutil::named<DBComboBox>(window, QStringLiteral("category1Field"));
    DBComboBox* category2Field = testutil::named<DBComboBox>(window, QStringLiteral("category2Field"));
    DBMemo* mattersField = testutil::named<DBMemo>(window, QStringLiteral("mattersField"));
    DBMemo* replyField = testutil::named<DBMemo>(window, QStringLiteral("replyField"));
    QPushButton* cardSaveButton = testutil::named<QPushButton>(window, QStringLiteral("cardSaveButton"));
    QPushButton* addButton = testutil::named<QPushButton>(window, QStringLiteral("addButton"));
    QPushButton* saveButton = testutil::named<QPushButton>(window, QStringLiteral("saveButton"));
    QPushButton* deleteButton = testutil::named<QPushButton>(window, QStringLiteral("deleteButton"));
    QPushButton* firstButton = testutil::named<QPushButton>(window, QStringLiteral("firstButton"));
    QPushButton* priorButton = testutil::named<QPushButton>(window, QStringLiteral("priorButton"));
    QPushButton* nextButton = testutil::named<QPushButton>(window, QStringLiteral("nextButton"));
    QPushButton* lastButton = testutil::named<QPushButton>(window, QStringLiteral("lastButton"));
};
