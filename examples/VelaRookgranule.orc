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

#ifndef BUS_DC_BLOCK
#define BUS_DC_BLOCK #1#    ; a DC blocker on every output channel (VelaRookspace.inc)
#end
#include "VelaRookspace.inc"

giNoSuchTable = 9999        ; reading it raises Csound's init error on a faulty statement
#define GRANULE_LEVEL #0.5#         ; the sound file's gain in a grain

; The sound file as the grains read it, made at the first grain (the score
; makes table 1): its mean taken out of table 1 once, so that no grain
; carries the file's offset; and, for grains that read it faster than it was
; recorded (by their speed, by the Doppler shift, or by a file at a higher
; sample rate than the render's), copies of it band-limited an octave apart.
; Copy k serves the grains read up to 2^k times as fast as the render's
; samples: it keeps what lies below half the sample rate / 2^k, so nothing
; folds back. A grain reads copy k when it is read faster than 2^(k-1):
; from 1 to 2 times as fast it keeps 9 kHz (at 44.1 kHz) of the file, and
; what folds back lies at least 80 dB down. Grains read at their recorded
; speed or slower read table 1 itself.
;
; Each copy is the one before it through a half-band low-pass (a windowed
; sinc, HALF_BAND_TAPS odd taps to each side, every second tap 0), its taps
; 2^(k-1) samples apart: each stage halves what the one before kept. A copy
; holds the file at COPY_MARGIN samples from its start, with the file's end
; before it and its start after it, so that the filter and a grain's
; reading both wrap round at the file's ends as a grain's position does.
#define HALF_BAND_TAPS #12#        ; odd taps to each side of the centre: 1, 3, ..., 23
#define HALF_BAND_KAISER #8#       ; the taps' Kaiser window (beta): about 87 dB of stop band
#define COPY_OCTAVES #8#           ; copies made at most: grains faster than 256 times read the last
#define COPY_MARGIN #4096#         ; samples before and after the file in a copy: beyond the last stage's reach
giSoundPrepared init 0              ; table 1 has lost its mean
giCopies[] init $COPY_OCTAVES + 1   ; the copies' table numbers by octave (0: not made yet)

; The half-band taps: giHalfBand[j] for the odd tap 2j+1 (and -(2j+1)),
; giHalfBandCentre for the centre, scaled so that they sum to 1; worked out
; with the first copy.
giHalfBand[] init $HALF_BAND_TAPS
giHalfBandCentre init 0
opcode HalfBandTaps, 0, 0
  iwidth = 2 * $HALF_BAND_TAPS       ; the window reaches 0 one tap beyond the last
  isum = 0.5
  itap = 0
  while itap < $HALF_BAND_TAPS do
    ioffset = 2 * itap + 1
    ; the Kaiser window there, I0(beta sqrt(1 - (offset / width)^2)) / I0(beta),
    ; each I0 by its power series
    ix = $HALF_BAND_KAISER * sqrt(1 - (ioffset / iwidth) ^ 2)
    iterm = 1
    iwindowTop = 1
    ibetaTerm = 1
    iwindowBottom = 1
    ik = 1
    while ik < 40 do
      iterm *= (ix / (2 * ik)) ^ 2
      iwindowTop += iterm
      ibetaTerm *= ($HALF_BAND_KAISER / (2 * ik)) ^ 2
      iwindowBottom += ibetaTerm
      ik += 1
    od
    giHalfBand[itap] = sin($M_PI * ioffset / 2) / ($M_PI * ioffset) * iwindowTop / iwindowBottom
    isum += 2 * giHalfBand[itap]
    itap += 1
  od
  giHalfBandCentre = 0.5 / isum
  giHalfBand = giHalfBand / isum
endop

; CopyMargins icopy, ilength: fills the margins of a copy whose file
; (ilength samples) is in place: the file's end before it, its start after
; it, repeated where the file is shorter than the margin.
opcode CopyMargins, 0, ii
  icopy, ilength xin
  tableimix icopy, $COPY_MARGIN + ilength, $COPY_MARGIN, icopy, $COPY_MARGIN, 1, icopy, 0, 0
  tableimix icopy, $COPY_MARGIN - 1, -$COPY_MARGIN, icopy, $COPY_MARGIN + ilength - 1, 1, icopy, 0, 0
endop

; PrepareSound ioctave: table 1 without its mean, and the copies up to
; octave ioctave, each made once.
opcode PrepareSound, 0, i
  ioctave xin
  ilength = nsamp(1)
  if giSoundPrepared == 0 then
    isamples[] tab2array 1, 0, ilength
    isamples = isamples - sumarray(isamples) / ilength
    copya2ftab isamples, 1
    if ilength < ftlen(1) then
      tableiw isamples[0], ilength, 1    ; a grain that wraps round reads on into the file's start, not into 0
    endif
    giSoundPrepared = 1
  endif
  isize = ilength + 2 * $COPY_MARGIN
  if ioctave > 0 && giHalfBandCentre == 0 then
    HalfBandTaps
  endif
  ik = 1
  while ik <= ioctave do
    if giCopies[ik] == 0 then
      if ik == 1 then
        isource ftgen 0, 0, isize, -2, 0      ; table 1 with margins, the first stage's input
        tableimix isource, $COPY_MARGIN, ilength, 1, 0, 1, 1, 0, 0
        CopyMargins isource, ilength
      else
        isource = giCopies[ik - 1]
      endif
      icopy ftgen 0, 0, isize, -2, 0
      istep = 2 ^ (ik - 1)
      tableimix icopy, $COPY_MARGIN, ilength, isource, $COPY_MARGIN, giHalfBandCentre, isource, 0, 0
      itap = 0
      while itap < $HALF_BAND_TAPS do
        ireach = (2 * itap + 1) * istep
        tableimix icopy, $COPY_MARGIN, ilength, icopy, $COPY_MARGIN, 1, isource, $COPY_MARGIN + ireach, giHalfBand[itap]
        tableimix icopy, $COPY_MARGIN, ilength, icopy, $COPY_MARGIN, 1, isource, $COPY_MARGIN - ireach, giHalfBand[itap]
        itap += 1
      od
      CopyMargins icopy, ilength
      if ik == 1 then
        ftfree isource, 0
      endif
      giCopies[ik] = icopy
    endif
    ik += 1
  od
endop

instr 1, 2
  ilength = nsamp(1)          ; samples of the file itself, not of the whole table
  if ilength < 1 then
    prints "SCORE ERROR: instr 1 at %f wants a sound file in table 1\n", p2
    iraise table 0, giNoSuchTable
  endif
  $GRAIN_OPENING(14)
  irate = ftsr(1) * p14        ; file samples per second of the grain as it leaves
  istart = (p13 + p5 * igrain * p14 * ftsr(1) / ilength) * ilength
  ifaster = abs(igrain * irate / iheard) / sr    ; file samples per sample heard
  ioctave = (ifaster > 1 ? min(ceil(log2(ifaster) - 1e-9), $COPY_OCTAVES) : 0)
  if giSoundPrepared == 0 || (ioctave > 0 && giCopies[ioctave] == 0) then
    PrepareSound ioctave
  endif
  if igap > 0 then    ; read along with the envelope, which starts igap seconds after the instrument
    aread linseg 0, igap, 0, iheard, igrain * irate
  else
    aread linseg 0, iheard, igrain * irate
  endif
  aindex wrap aread + istart, 0, ilength
  asig tablei aindex, (ioctave > 0 ? giCopies[ioctave] : 1), 0, (ioctave > 0 ? $COPY_MARGIN : 0)
  $GRAIN_ENVELOPE($GRANULE_LEVEL)
  asig = asig * aenvelope
  $PLACE(asig)
  $GRAIN_HEARD
endin
