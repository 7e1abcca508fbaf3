; VelaRookgranule.orc: grains of one mono sound file placed in space, for the
; scores of granulescore.
;
; Every grain statement (instr 1) carries 14 p-fields:
;   p2 start, p3 note duration, p4 voice, p5 phase, p6/p7 previous/current azimuth,
;   p8/p9 previous/current elevation, p10/p11 previous/current distance,
;   p12 grain duration, p13 file play position, p14 play speed.
; Function table 1 holds the sound file (GEN01). The grain plays p12 seconds
; (never longer than the note) of it at speed p14 (1 normal, 0.5 half, 2
; double, negative backwards), from position p13: 0 is the start of the file
; and 1 its end, whatever the file's length; reading wraps round at the ends.
; The voice's phase p5 moves the start on by up to one grain, so that streams
; that draw nearby positions do not read in step. Table 2 is the grain's
; envelope. It starts at the current position and moves on at the voice's
; velocity from the previous one: azimuth (degrees clockwise, 0 ahead, 90
; right, the short way round), elevation (degrees, up is positive) and distance (metres), as
; VelaRookspace.inc places it, in the technique chosen with --omacro:SPACE=...
; (stereo when not given); instr 99 is the global reverb. instr 2 is the
; grain of a statement heard later than its note's start (VelaRookspace.inc).

#include "VelaRookspace.inc"

giNoSuchTable = 9999        ; reading it raises Csound's init error on a faulty statement
#define GRANULE_LEVEL #0.5#         ; the sound file's gain in a grain

instr 1, 2
  ilength = nsamp(1)          ; samples of the file itself, not of the whole table
  if ilength < 1 then
    prints "SCORE ERROR: instr 1 at %f wants a sound file in table 1\n", p2
    iraise table 0, giNoSuchTable
  endif
  $GRAIN_OPENING(14)
  irate = ftsr(1) * p14        ; file samples per second of the grain as it leaves
  istart = (p13 + p5 * igrain * p14 * ftsr(1) / ilength) * ilength
  aread linseg 0, iheard, igrain * irate    ; the envelope's gap left out: under one control period
  aindex wrap aread + istart, 0, ilength
  asig tablei aindex, 1
  $GRAIN_ENVELOPE($GRANULE_LEVEL)
  asig = asig * aenvelope
  $PLACE(asig)
  $GRAIN_HEARD
endin
