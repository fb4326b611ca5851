#pragma once
// The about box: program title, build and the maker's address lines.
// Its controls carry object names: "titleLabel", "buildLabel", "okButton".

#include <QDialog>

class AboutWindow : public QDialog {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* owner = nullptr);
};
