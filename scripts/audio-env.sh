# Sourced by scripts/with-test-env.sh: starts a private PulseAudio daemon with
# null sinks and points ALSA at named PCMs on it, so PortAudio sees
#   "Microphone"      (input only)   <- monitor of sink "mic"
#   "Speakers"        (output only)  -> sink "spk"
#   "e2eSoft VAudio"          (output only) -> sink "vcard" (receive audio for
#                              digital-mode programs, which record "vcard.monitor")
#   "e2eSoft VAudio Line in"  (input only)  <- monitor of sink "vcard_line" (what
#                              those programs play back as transmit audio)
#   "Headset"         (duplex)       -> sink "headset", <- monitor of sink "mic",
#                              as most real devices on Linux are
#   "Vanishing"       (output only)  -> sink "vanish", which tests unload and
#                              load again (a device unplugged mid-stream)
#   "Null In", "Null Out"     (input only, output only) ALSA's null device: no
#                              clock, so their callbacks run as fast as they can
# What is played into a sink can be recorded from "<sink>.monitor".
# Needs $work (a private folder) and the pids array of the caller.
# BRELKO_NO_AUDIO=1 skips it.

if [ -z "${BRELKO_NO_AUDIO:-}" ] && command -v pulseaudio >/dev/null 2>&1; then
    export PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse"
    export PULSE_STATE_PATH="$work/pulse-state"
    mkdir -p -m 0700 "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"
    export PULSE_SERVER="unix:$PULSE_RUNTIME_PATH/native"
    cat >"$work/pulse.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$PULSE_RUNTIME_PATH/native
load-module module-null-sink sink_name=spk rate=48000 sink_properties=device.description=spk
load-module module-null-sink sink_name=mic rate=48000 sink_properties=device.description=mic
load-module module-null-sink sink_name=vcard rate=48000 sink_properties=device.description=vcard
load-module module-null-sink sink_name=vcard_line rate=48000 sink_properties=device.description=vcard_line
load-module module-null-sink sink_name=headset rate=48000 sink_properties=device.description=headset
load-module module-null-sink sink_name=vanish rate=48000 sink_properties=device.description=vanish
set-default-sink spk
set-default-source spk.monitor
PA
    # -n: no default script; realtime scheduling so streams run in real time.
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
        --system=no --realtime=yes --high-priority=yes --log-target=file:"$work/pulse.log" \
        -F "$work/pulse.pa" >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 1 100); do
        pactl info >/dev/null 2>&1 && break
        sleep 0.1
    done
    if pactl info >/dev/null 2>&1; then
        export ALSA_CONFIG_PATH="$work/asound.conf"
        cat >"$ALSA_CONFIG_PATH" <<ALSA
</usr/share/alsa/alsa.conf>
pcm.!default { type pulse }
ctl.!default { type pulse }
pcm."Microphone" { type asym; capture.pcm { type pulse; device "mic.monitor" } }
pcm."Speakers" { type asym; playback.pcm { type pulse; device "spk" } }
pcm."e2eSoft VAudio" { type asym; playback.pcm { type pulse; device "vcard" } }
pcm."e2eSoft VAudio Line in" { type asym; capture.pcm { type pulse; device "vcard_line.monitor" } }
pcm."Headset" { type asym; playback.pcm { type pulse; device "headset" }; capture.pcm { type pulse; device "mic.monitor" } }
pcm."Vanishing" { type asym; playback.pcm { type pulse; device "vanish" } }
pcm."Null In" { type asym; capture.pcm "null" }
pcm."Null Out" { type asym; playback.pcm "null" }
ALSA
        export BRELKO_AUDIO_READY=1
    else
        echo "audio-env: PulseAudio did not start; see $work/pulse.log" >&2
        cat "$work/pulse.log" >&2 || true
    fi
fi
