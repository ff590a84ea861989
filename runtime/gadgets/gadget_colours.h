// gadget_colours.h: colours of the gadget kinds that draw text on a
// background (text, spin, string), and the brush cache they share.
//
// Such kinds keep the background colour in kind word 1, the text colour in
// kind word 2 and the background brush in kind word 3; -1 is the system's
// default colour.
#pragma once

#include <windows.h>

#include <cstdint>

#include "gadget.h"

constexpr int32_t GADGET_COLOUR_TEXT = 1;
constexpr int32_t GADGET_COLOUR_BACKGROUND = 2;
constexpr int32_t GADGET_DEFAULT_COLOUR = -1;

// A brush of `colour` shared through the cache; each take needs a release.
HBRUSH take_brush(int32_t colour);
// A brush that the cache does not hold is ignored.
void release_brush(HBRUSH brush);

// The set_color and get_color operations of these kinds.
void set_gadget_colour_words(GadgetRecord* gadget, int32_t colour_kind, int32_t colour);
int32_t get_gadget_colour_words(GadgetRecord* gadget, int32_t colour_kind);
// Releases the background brush (the kinds' release).
void release_gadget_colours(GadgetRecord* gadget);

// Answers a WM_CTLCOLOR message with the gadget's colours; the background
// defaults to the system colour `default_background`. NOT_HANDLED when both
// colours are the defaults, so that the control paints as usual.
LRESULT answer_control_colour(GadgetRecord* gadget, HDC dc, int default_background);
