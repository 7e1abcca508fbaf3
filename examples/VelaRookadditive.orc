; VelaRookadditive.orc: an additive tone of grainlets placed in space, for the
; scores of additivescore.
;
; Every grain statement (instr 1) carries 13 p-fields:
;   p2 start, p3 note duration, p4 voice (the partial number), p5 phase,
;   p6/p7 previous/current azimuth, p8/p9 previous/current elevation,
;   p10/p11 previous/current distance, p12 grainlet duration, p13 partial frequency.
; The grainlet is p12 seconds (never longer than the note) of the partial at
; p13 Hz, read from table 1 starting at the voice's phase, with table 2 as its
; envelope; partial k sounds at 1/k of the first one's strength. Across the
; note it moves from the previous to the current position: azimuth (degrees clockwise, 0 ahead, 90 right, the short way
; round), elevation (degrees, up is positive) and distance (metres), as
; VelaRookspace.inc places it, in the technique chosen with --omacro:SPACE=...
; (stereo when not given); instr 99 is the global reverb.

#include "VelaRookspace.inc"

giNoSuchTable = 9999        ; reading it raises Csound's init error on a faulty statement

instr 1
  if pcount() != 13 || p3 <= 0 || p12 <= 0 || p4 < 1 then
    prints "SCORE ERROR: instr 1 at %f wants 13 p-fields (has %d), a positive duration (%f), grainlet duration (%f) and voice (%f)\n", p2, pcount(), p3, p12, p4
    iraise table 0, giNoSuchTable
  endif
  inote = p3
  igrain = (p12 < inote ? p12 : inote)
  p3 = igrain + FlightTime(p10, p11, inote, igrain)    ; silent once the grain has reached the listener
  aenv GrainEnvelope igrain
  asig oscili 0.4 * aenv / p4, p13, 1, p5
  Place asig, p6, p7, p8, p9, p10, p11, inote, p3
endin
