#include "ui/toolbar_strips.h"

#include "res/resource.h"

namespace quenlet {
namespace {

constexpr ToolBarStrip kStrips[] = {
    {96, IDR_TOOLBAR, {TOOLBAR_IMAGE_WIDTH, TOOLBAR_IMAGE_HEIGHT}},
    {120, IDB_TOOLBAR_125, {TOOLBAR_125_IMAGE_WIDTH, TOOLBAR_125_IMAGE_HEIGHT}},
    {144, IDB_TOOLBAR_150, {TOOLBAR_150_IMAGE_WIDTH, TOOLBAR_150_IMAGE_HEIGHT}},
    {192, IDB_TOOLBAR_200, {TOOLBAR_200_IMAGE_WIDTH, TOOLBAR_200_IMAGE_HEIGHT}},
};

}  // namespace

const ToolBarStrip& mainToolBarStrip(int dpi) { return chooseToolBarStrip(kStrips, dpi); }

}  // namespace quenlet
