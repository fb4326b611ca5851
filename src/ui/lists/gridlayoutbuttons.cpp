#include "ui/lists/gridlayoutbuttons.h"

#include <QPushButton>
#include <QWidget>

#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"
#include "rules/lists/layoutfile.h"
#include "ui/kit/dbgrid.h"
#include "ui/lists/gridlayout.h"

GridLayoutButtons::GridLayoutButtons(DBGrid& grid, const QWidget& sidePanel, int divisor,
                                     QString fileName, QPushButton* fit, QPushButton* save,
                                     QPushButton* reset, QObject* parent)
    : QObject(parent), grid_(grid), panel_(sidePanel), divisor_(divisor), fileName_(std::move(fileName))
{
    connect(fit, &QPushButton::clicked, this, [this] { guarded([this] { fitColumns(); }); });
    connect(save, &QPushButton::clicked, this, [this] { guarded([this] { saveLayout(); }); });
    connect(reset, &QPushButton::clicked, this, [this] { guarded([this] { resetColumns(); }); });
}

QString GridLayoutButtons::filePath() const
{
    return programFolder() + QStringLiteral("set/") + fileName_;
}

void GridLayoutButtons::fitColumns()
{
    gridlayout::fitWidths(grid_, gridwidths::limit(panel_.width(), divisor_));
}

void GridLayoutButtons::saveLayout() { gridlayout::save(grid_, filePath()); }

void GridLayoutButtons::resetColumns() { grid_.resetColumns(); }
