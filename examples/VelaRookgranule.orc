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
; envelope. Across the note it moves from the previous to the current
; position: azimuth (degrees, 0 ahead, 90 right, the short way round),
; elevation (degrees, up is positive) and distance (metres). The azimuth and
; elevation pan it between the two speakers and darken it behind the listener;
; the distance sets its level (1/distance beyond 3 m) and, more slowly, its share
; of the global reverb, instr 99.

sr = 44100
ksmps = 32
nchnls = 2
0dbfs = 1

giNoSuchTable = 9999        ; reading it raises Csound's init error on a faulty statement
gaReverbL init 0
gaReverbR init 0

; Pans a grain from where it was to where it is and sends it to the reverb.
opcode Place, 0, aiiiiiii
  asig, iazOld, iaz, ielOld, iel, idistOld, idist, idur xin
  iturn = iaz - iazOld
  iturn = iturn - 360 * round(iturn / 360)     ; the short way round
  kaz line iazOld, idur, iazOld + iturn
  kel line ielOld, idur, iel
  kdist line idistOld, idur, idist
  kdist = (kdist < 1 ? 1 : kdist)
  kside = sin(kaz * $M_PI / 180) * cos(kel * $M_PI / 180)     ; -1 left .. 1 right
  kpan = (kside + 1) * $M_PI / 4
  kfront = cos(kaz * $M_PI / 180)
  adark tone asig, 9000 + 6000 * kfront
  klevel = (kdist < 3 ? 1 : 3 / kdist)
  ksend = 0.25 * sqrt(klevel)
  outs adark * klevel * cos(kpan), adark * klevel * sin(kpan)
  gaReverbL += adark * ksend * cos(kpan)
  gaReverbR += adark * ksend * sin(kpan)
endop

instr 1
  ilength = nsamp(1)          ; samples of the file itself, not of the whole table
  if pcount() != 14 || p3 <= 0 || p12 <= 0 || p4 < 1 || ilength < 1 then
    prints "SCORE ERROR: instr 1 at %f wants 14 p-fields (has %d), a positive duration (%f), grain duration (%f) and voice (%f), and a sound file in table 1\n", p2, pcount(), p3, p12, p4
    iraise table 0, giNoSuchTable
  endif
  igrain = (p12 < p3 ? p12 : p3)
  irate = ftsr(1) * p14        ; file samples per second
  istart = (p13 + p5 * igrain * p14 * ftsr(1) / ilength) * ilength
  aread linseg 0, igrain, igrain * irate
  aindex wrap aread + istart, 0, ilength
  asig tablei aindex, 1
  aenvpos linseg 0, igrain, 1
  aenv tablei aenvpos, 2, 1
  Place asig * aenv * 0.5, p6, p7, p8, p9, p10, p11, p3
endin

; Global reverb, for the score's duration and a tail of 3 seconds.
instr 99
  p3 = p3 + 3
  aL, aR reverbsc gaReverbL, gaReverbR, 0.85, 10000
  outs aL, aR
endin

; Empties the reverb bus after every cycle, with or without instr 99.
instr 100
  clear gaReverbL, gaReverbR
endin
alwayson 100
