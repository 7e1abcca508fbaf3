<CsoundSynthesizer>
; A short mono test sound for granulescore's grains: two seconds of plucked
; notes over a slow glide and a band of noise, so that grains read from
; different places sound different. Render it with
;   csound -d -W -o testsound.wav testsound.csd
<CsOptions>
-d -W -o testsound.wav
</CsOptions>
<CsInstruments>
sr = 44100
ksmps = 32
nchnls = 1
0dbfs = 1

instr 1   ; a plucked note, p4 Hz
  asig pluck 0.4, p4, p4, 0, 1
  asig dcblock2 asig    ; the pluck's random start would hold an offset all through the note
  aenv linseg 1, p3 - 0.05, 1, 0.05, 0
  out asig * aenv
endin

instr 2   ; a glide with its octave, and a band of noise that sweeps down
  kfreq expseg 110, p3, 440
  aenv linseg 0, 0.1, 1, p3 - 0.2, 1, 0.1, 0
  aglide oscili 0.15, kfreq
  aoctave oscili 0.08, kfreq * 2
  anoise rand 0.3
  aband butterbp anoise, expseg:k(4000, p3, 500), 300
  out (aglide + aoctave + aband * 0.5) * aenv
endin
</CsInstruments>
<CsScore>
i2 0 2
i1 0.00 0.3 262
i1 0.25 0.3 330
i1 0.50 0.3 392
i1 0.75 0.3 523
i1 1.00 0.3 659
i1 1.25 0.3 523
i1 1.50 0.3 392
i1 1.75 0.25 262
e
</CsScore>
</CsoundSynthesizer>
