#pragma once
// Two drawing-wide restructurings for programs that want simple entities or
// one layer per pen width: explode turns polylines into single-segment
// polylines and arcs; separating distributes all entities into layers named
// after the widths of a width series.

#include <cstdint>
#include <string>

#include "model/graph.h"

namespace quillon::settings {
class WidthSeries;
}

namespace quillon::model {

class CPolyLine;

// --- explode ---------------------------------------------------------------------

// Puts one new entity per segment of the polyline at the front of its layer,
// in vertex order, the closing segment last and only when closed:
// - an arc segment (|bulge| >= kTolerance, half chord above kTolerance)
//   becomes a counter-clockwise CArc with the start vertex's startWidth;
// - a bulged segment with a half chord of kTolerance or less gives nothing;
// - a straight segment becomes a CPolyLine of two vertices, the start with
//   the start vertex's startWidth, the end with widths 0; one whose ends
//   coincide exactly gives nothing (it would be a one-vertex polyline).
// New entities keep a new entity's attributes (colour ByLayer). Each is
// recorded in step (when given) as added. The polyline itself is left
// untouched: the caller records and removes it (explodeAndRemove).
// False, nothing done, when the polyline is in no layer or has fewer than
// 3 vertices.
bool explodePolyline(CPolyLine& polyline, EntityEditStep* step);

// explodePolyline, then the polyline is recorded in step as deleted and
// removed from its layer and deleted. False (polyline untouched) as above.
bool explodeAndRemove(CPolyLine& polyline, EntityEditStep* step);

// Explodes every polyline of the layer, in list order. Answers how many.
int explodeAll(CLayer& layer, EntityEditStep* step);

// Entity totals of the drawing before and after an explode.
struct ExplodeCounts {
  uint32_t oldCount = 0;
  uint32_t newCount = 0;
};

// The Explode command. With all set or an empty selection every polyline
// of every layer is exploded, otherwise every selected polyline; the
// selection ends cleared. One undo step "Explode PolyLines" holds the new
// entities (added) and the exploded polylines (deleted); the drawing is
// marked modified.
ExplodeCounts explode(CGraph& graph, bool all);

// The command's report: "Explode successfully!\nOld vector number: N\nNew
// vector number: M".
std::string explodeMessage(const ExplodeCounts& counts);
// The command's status-bar hint.
std::string explodeHint();

// --- separate layers --------------------------------------------------------------

// The layer name of a width: "%-.4f" with its first "." made "_" (0.35 gives
// "0_3500").
std::string widthLayerName(double width);
// The width a layer name stands for: the name with its first "_" read as
// "." (nothing when the rest is not a number).
bool widthOfLayerName(const std::string& name, double& width);

// Makes one layer per width of the series, in series order, each inserted
// at the front of widthLayers (a name already there is not made twice).
// The layers take their handles from graph's counter, graph's colour for
// new layers, and belong to graph without being in its list. False, nothing
// made, when the series has no widths.
bool createWidthLayers(CGraph& graph, const settings::WidthSeries& series, LayerList& widthLayers);

// Moves every entity of layer whose getWidth() lies within 0.0001 of a
// width layer's width to the end of the first such layer (in list order);
// the others stay. A layer's width is read from its name and, for a series
// unit other than Pixel and resolution > 0 (pixels per metre), converted
// to pixels.
void distributeByWidth(CLayer& layer, const LayerList& widthLayers, const settings::WidthSeries& series,
                       int resolution);

// Separate layers: the drawing's layers give way to one layer per width of
// the series that received entities, in series order, followed by "other"
// with every entity that matched no width (in the old layer order) when
// there is one; empty layers are not kept and the first layer is current.
// The selection is cleared, one undo step "Modify Layers" takes the drawing
// as it was, and the drawing is marked modified. False, nothing changed,
// when the series has no widths.
bool separateLayers(CGraph& graph, const settings::WidthSeries& series);

}  // namespace quillon::model
