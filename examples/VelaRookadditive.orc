; VelaRookadditive.orc: an additive tone of grainlets placed in space, for the
; scores of additivescore.
;
; Every grain statement (instr 1) carries 13 p-fields:
;   p2 start, p3 note duration, p4 voice (the partial number), p5 phase,
;   p6/p7 previous/current azimuth, p8/p9 previous/current elevation,
;   p10/p11 previous/current distance, p12 grainlet duration, p13 partial frequency.
; The grainlet is p12 seconds (never longer than the note) of the partial at
; p13 Hz, read from table 1 starting at the voice's phase, with table 2 as its
; envelope; partial k sounds at 1/k of the first one's strength. It starts at
; the current position and moves on at the voice's velocity from the previous
; one: azimuth (degrees clockwise, 0 ahead, 90 right, the short way round),
; elevation (degrees, up is positive) and distance (metres), as
; VelaRookspace.inc places it, in the technique chosen with --omacro:SPACE=...
; (stereo when not given); instr 99 is the global reverb. instr 2 is the
; grain of a statement heard later than its note's start (VelaRookspace.inc).

#include "VelaRookspace.inc"

giNoSuchTable = 9999        ; reading it raises Csound's init error on a faulty statement
#define PARTIAL_LEVEL #0.4#         ; the first partial's amplitude

instr 1, 2
  $GRAIN_OPENING(13)
  $GRAIN_ENVELOPE($PARTIAL_LEVEL / p4)
  asig oscili aenvelope, p13 * ipitch, 1, p5
  $PLACE(asig)
  $GRAIN_HEARD
endin
