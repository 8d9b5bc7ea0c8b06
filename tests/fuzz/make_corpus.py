#!/usr/bin/env python3
"""Writes the fuzz target's seed corpus: small WAV files in every format SDL
reads, and the odd files the sound tests try.

    make_corpus.py OUTPUT_FOLDER

The same files every time: a tone, not noise, with no time stamps.
"""
import math
import os
import struct
import sys


def chunk(kind, body):
    return kind + struct.pack("<I", len(body)) + body + (b"\0" if len(body) % 2 else b"")


def riff(*chunks):
    body = b"WAVE" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def fmt(tag, channels, rate, block_align, bits, extra=None):
    body = struct.pack("<HHIIHH", tag, channels, rate, rate * block_align, block_align, bits)
    if extra is not None:
        body += struct.pack("<H", len(extra)) + extra
    return chunk(b"fmt ", body)


def tone(count, channels):
    """Samples in -1..1, channel by channel within each frame."""
    return [math.sin(2 * math.pi * (440 + 110 * c) * i / 8000) * 0.6
            for i in range(count) for c in range(channels)]


def pcm(bits, channels, rate, frames=400, extensible=False):
    values = tone(frames, channels)
    if bits == 8:
        data = bytes(int(128 + v * 127) for v in values)
    else:
        scale = (1 << (bits - 1)) - 1
        data = b"".join(int(v * scale).to_bytes(bits // 8, "little", signed=True) for v in values)
    align = channels * bits // 8
    if extensible:
        # Valid bits, channel mask, then the PCM subformat GUID.
        extra = struct.pack("<HI", bits, (1 << channels) - 1) + \
            bytes.fromhex("0100000000001000800000aa00389b71")
        return riff(fmt(0xFFFE, channels, rate, align, bits, extra), chunk(b"data", data))
    return riff(fmt(1, channels, rate, align, bits), chunk(b"data", data))


def ieee_float(channels, rate, frames=400):
    data = b"".join(struct.pack("<f", v) for v in tone(frames, channels))
    return riff(fmt(3, channels, rate, channels * 4, 32, b""), chunk(b"fact", struct.pack("<I", frames)),
                chunk(b"data", data))


def companded(tag, channels, rate, frames=400):
    """mu-law (7) or A-law (6): one byte a sample, any byte value is a sample."""
    data = bytes((int((v + 1) * 127.5) ^ 0x55) & 0xFF for v in tone(frames, channels))
    return riff(fmt(tag, channels, rate, channels, 8, b""), chunk(b"fact", struct.pack("<I", frames)),
                chunk(b"data", data))


def ima_adpcm(channels, rate, blocks=3, block_align=256):
    samples_per_block = (block_align - 4 * channels) * 8 // (4 * channels) + 1
    data = b""
    for block in range(blocks):
        for c in range(channels):
            data += struct.pack("<hBB", 1000 * c - 500 * block, 20 + block, 0)
        data += bytes((17 * i + 5 * block) & 0xFF for i in range(block_align - 4 * channels))
    extra = struct.pack("<H", samples_per_block)
    return riff(fmt(0x11, channels, rate, block_align, 4, extra),
                chunk(b"fact", struct.pack("<I", blocks * samples_per_block)), chunk(b"data", data))


MS_ADPCM_COEFFICIENTS = ((256, 0), (512, -256), (0, 0), (192, 64), (240, 0), (460, -208), (392, -232))


def ms_adpcm(channels, rate, blocks=3, block_align=256):
    samples_per_block = (block_align - 7 * channels) * 2 // channels + 2
    data = b""
    for block in range(blocks):
        data += bytes((block + c) % 7 for c in range(channels))
        data += b"".join(struct.pack("<h", 16 + 40 * block) for _ in range(channels))
        data += b"".join(struct.pack("<h", 300 - 100 * c) for c in range(channels))
        data += b"".join(struct.pack("<h", 200 - 100 * c) for c in range(channels))
        data += bytes((29 * i + 3 * block) & 0xFF for i in range(block_align - 7 * channels))
    extra = struct.pack("<HH", samples_per_block, len(MS_ADPCM_COEFFICIENTS))
    extra += b"".join(struct.pack("<hh", *pair) for pair in MS_ADPCM_COEFFICIENTS)
    return riff(fmt(2, channels, rate, block_align, 4, extra),
                chunk(b"fact", struct.pack("<I", blocks * samples_per_block)), chunk(b"data", data))


def seeds():
    yield "pcm8-mono-8000.wav", pcm(8, 1, 8000)
    yield "pcm8-stereo-22050.wav", pcm(8, 2, 22050)
    yield "pcm16-mono-11025.wav", pcm(16, 1, 11025)
    yield "pcm16-mono-44100.wav", pcm(16, 1, 44100)
    yield "pcm16-stereo-48000.wav", pcm(16, 2, 48000)
    yield "pcm24-stereo-96000.wav", pcm(24, 2, 96000)
    yield "pcm32-mono-32000.wav", pcm(32, 1, 32000)
    yield "pcm16-extensible-quad-44100.wav", pcm(16, 4, 44100, extensible=True)
    yield "float32-stereo-44100.wav", ieee_float(2, 44100)
    yield "mulaw-mono-8000.wav", companded(7, 1, 8000)
    yield "alaw-stereo-8000.wav", companded(6, 2, 8000)
    yield "ima-adpcm-mono-22050.wav", ima_adpcm(1, 22050)
    yield "ima-adpcm-stereo-44100.wav", ima_adpcm(2, 44100, block_align=512)
    yield "ms-adpcm-mono-22050.wav", ms_adpcm(1, 22050)
    yield "ms-adpcm-stereo-44100.wav", ms_adpcm(2, 44100, block_align=512)
    # With chunks the reader skips: a list of tags before the samples.
    info = chunk(b"LIST", b"INFO" + chunk(b"INAM", b"tone\0"))
    yield "pcm16-with-list-chunk.wav", riff(fmt(1, 1, 22050, 2, 16), info,
                                            chunk(b"data", pcm(16, 1, 22050)[44:]))
    # The sound tests' odd files, and a file cut inside a sample frame.
    yield "empty.wav", b""
    yield "garbage.wav", b"x" * 5000
    yield "header-only.wav", b"RIFF\x24\x00\x00\x00WAVEfmt "
    yield "truncated.wav", pcm(16, 2, 44100)[:44 + 4 * 100 + 3]
    yield "zero-channels.wav", riff(fmt(1, 0, 44100, 2, 16), chunk(b"data", b"\0" * 64))
    # What the loader guards SDL against: a few bytes claiming 4 GB of
    # samples (after a RIFF header, or a bare "WAVE"), and a rate of 1 Hz,
    # gigabytes once converted.
    yield "claims-4-gb.wav", riff(fmt(1, 1, 8000, 1, 8),
                                     b"data" + struct.pack("<I", 0xFFFFFFF0) + b"\x80" * 16)
    yield "rate-1-hz.wav", riff(fmt(1, 1, 1, 1, 8), chunk(b"data", bytes(range(256)) * 80))
    yield "bare-wave-claims-4-gb.wav", riff(fmt(1, 1, 8000, 1, 8),
                                            b"data" + struct.pack("<I", 0xFFFFFFF0) + b"\x80" * 16)[8:]


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
