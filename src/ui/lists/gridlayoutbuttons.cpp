#include "ui/lists/gridlayoutbuttons.h"

#include <QPushButton>
#include <QWidget>

#include "rules/app/errorreport.h"
#include "rules/app/paths.h"
#include "rules/lists/layoutfile.h"
#include "ui/app/dbgrid.h"
#include "ui/lists/gridlayout.h"

GridLayoutButtons::GridLayoutButtons(DBGrid& grid, const QWidget& sidePanel, int divisor,
                                     QString fileName, QPushButton* fit, QPushButton* save,
                                     QPushButton* reset, QObject* parent)
    : QObject(parent), grid_(grid), panel_(sidePanel), divisor_(divisor), fileName_(std::move(fileName))
{
    connect(fit, &QPushButton::clicked, this, [this] { guarded([this] { fitClick(); }); });
    connect(save, &QPushButton::clicked, this, [this] { guarded([this] { saveClick(); }); });
    connect(reset, &QPushButton::clicked, this, [this] { guarded([this] { resetClick(); }); });
}

QString GridLayoutButtons::filePath() const
{
    return programFolder() + QStringLiteral("set/") + fileName_;
}

void GridLayoutButtons::fitClick()
{
    gridlayout::fitWidths(grid_, gridwidths::limit(panel_.width(), divisor_));
}

void GridLayoutButtons::saveClick() { gridlayout::save(grid_, filePath()); }

void GridLayoutButtons::resetClick() { grid_.resetColumns(); }
