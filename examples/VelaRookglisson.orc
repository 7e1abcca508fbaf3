; VelaRookglisson.orc: glissons placed in space, for the scores of glissonscore.
;
; Every grain statement (instr 1) carries 14 p-fields:
;   p2 start, p3 note duration, p4 voice, p5 phase, p6/p7 previous/current azimuth,
;   p8/p9 previous/current elevation, p10/p11 previous/current distance,
;   p12 grain duration, p13/p14 start/end frequency.
; The grain is one glide from p13 to p14 Hz over p12 seconds (never longer than
; the note), read from the harmonic table 1 starting at the voice's phase, with
; table 2 as its envelope. It starts at the current position and moves on at
; the voice's velocity from the previous one: azimuth (degrees clockwise, 0
; ahead, 90 right, the short way round), elevation (degrees, up is positive)
; and distance (metres), as VelaRookspace.inc places it, in the technique chosen with --omacro:SPACE=...
; (stereo when not given); instr 99 is the global reverb. instr 2 is the
; grain of a statement heard later than its note's start (VelaRookspace.inc).

#include "VelaRookspace.inc"

giNoSuchTable = 9999        ; reading it raises Csound's init error on a faulty statement
#define GLISSON_LEVEL #0.3#         ; the glisson's amplitude

; Table 1 band-limited: copies of it with fewer and fewer harmonics, made at
; the first grain (the score makes table 1); every grain reads the copy whose
; harmonics all lie below half the sample rate, so none folds back.
#define HARMONIC_COPIES #1000#      ; table number of the first copy
#define HARMONIC_WAVE #-2#          ; the copies' waveform number
#define HARMONIC_COPY_STEP #1.05#   ; each copy serves fundamentals this many times higher than the one before
#define HARMONIC_MIN_SIZE #128#     ; samples of the smallest copy
#define HARMONIC_MAX_SIZE #16384#   ; samples of the largest copy
giHarmonicCopies init 0

instr 1, 2
  $GRAIN_OPENING(14)
  if giHarmonicCopies == 0 then
    giHarmonicCopies vco2init $HARMONIC_WAVE, $HARMONIC_COPIES, $HARMONIC_COPY_STEP, $HARMONIC_MIN_SIZE, $HARMONIC_MAX_SIZE, 1
  endif
  if p13 > 0 && p14 > 0 then
    kfreq expseg p13 * ipitch, iheard, p14 * ipitch
  else
    kfreq linseg p13 * ipitch, iheard, p14 * ipitch
  endif
  $GRAIN_ENVELOPE($GLISSON_LEVEL)
  ktable vco2ft kfreq, $HARMONIC_WAVE
  asig oscilikt aenvelope, kfreq, ktable, p5
  $PLACE(asig)
  $GRAIN_HEARD
endin
