#include "audio_tools.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include <unistd.h>

namespace cvn::test {

namespace {

std::string quotedForShell(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// What a shell command prints on stdout; empty when it cannot be started.
std::string outputOf(const std::string& command) {
    std::string output;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char block[4096];
    for (size_t count; (count = std::fread(block, 1, sizeof block, pipe)) > 0;) {
        output.append(block, count);
    }
    pclose(pipe);
    return output;
}

// "KEY=VALUE" lines, by their keys.
std::map<std::string, std::string> keyValueLines(const std::string& text) {
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos) {
            values[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return values;
}

uint32_t stereoFrame(double left, double right) {
    const auto l = static_cast<int16_t>(std::lround(left));
    const auto r = static_cast<int16_t>(std::lround(right));
    return static_cast<uint16_t>(l) | static_cast<uint32_t>(static_cast<uint16_t>(r)) << 16;
}

} // namespace

namespace {

// Runs `decoder` with `arguments`, where "PATH" stands for the file, writing raw 16-bit samples to
// its standard output.
DecodedAudio decodeWith(const std::string& decoder, const std::string& arguments, const std::string& path) {
    DecodedAudio decoded;
    const std::string raw = path + ".raw";
    const std::string errors = path + ".stderr";
    std::string command = decoder + " " + arguments;
    command.replace(command.find("PATH"), 4, quotedForShell(path));
    command += " > " + quotedForShell(raw) + " 2> " + quotedForShell(errors);
    decoded.ok = std::system(command.c_str()) == 0;
    if (std::FILE* file = std::fopen(raw.c_str(), "rb")) {
        int16_t block[4096];
        for (size_t count; (count = std::fread(block, sizeof block[0], 4096, file)) > 0;) {
            decoded.samples.insert(decoded.samples.end(), block, block + count);
        }
        std::fclose(file);
    }
    if (std::FILE* file = std::fopen(errors.c_str(), "rb")) {
        char text[4096];
        decoded.messages.assign(text, std::fread(text, 1, sizeof text, file));
        std::fclose(file);
    }
    std::remove(raw.c_str());
    std::remove(errors.c_str());
    return decoded;
}

} // namespace

DecodedAudio decodeWithMpg123(const std::string& path) {
    return decodeWith("mpg123", "-q -s PATH", path);
}

DecodedAudio decodeWithFfmpeg(const std::string& path) {
    return decodeWith("ffmpeg", "-nostdin -loglevel error -i PATH -f s16le -", path);
}

std::vector<StreamFacts> readWithMutagen(const std::vector<std::string>& paths) {
    std::string command = "/usr/bin/python3 -c 'import sys, mutagen.mp3\n"
                          "for p in sys.argv[1:]:\n"
                          "    i = mutagen.mp3.MP3(p).info\n"
                          "    print(i.channels, i.sample_rate, repr(i.length))' ";
    for (const std::string& path : paths) {
        command += " " + quotedForShell(path);
    }
    std::vector<StreamFacts> facts;
    std::istringstream lines(outputOf(command));
    StreamFacts fact;
    while (lines >> fact.channels >> fact.sampleRate >> fact.seconds) {
        facts.push_back(fact);
    }
    return facts;
}

std::map<std::string, std::string> readId3v2WithMutagen(const std::string& path) {
    // The ID3v2 tag alone: mutagen would otherwise read an ID3v1 tag as ID3v2 frames.
    const std::string command =
        "/usr/bin/python3 -c 'import sys, mutagen.id3\n"
        "try:\n"
        "    tags = mutagen.id3.ID3(sys.argv[1], load_v1=False)\n"
        "except mutagen.id3.ID3NoHeaderError:\n"
        "    tags = {}\n"
        "if tags:\n"
        "    print(\"VERSION=2.\" + str(tags.version[1]))\n"
        "for key, frame in tags.items():\n"
        "    if key.startswith(\"APIC\"):\n"
        "        print(\"APIC=%s %d %d\" % (frame.mime, len(frame.data), frame.type))\n"
        "    else:\n"
        "        print(key + \"=\" + str(frame))' " +
        quotedForShell(path);
    return keyValueLines(outputOf(command));
}

std::vector<uint32_t> testSignal(size_t frames, bool mono) {
    std::vector<uint32_t> signal;
    const double pi = std::acos(-1.0);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / 44100.0;
        const double left = 9000 * std::sin(2 * pi * 440 * t) + 3000 * std::sin(2 * pi * 2750 * t);
        const double right =
            mono ? left : 9000 * std::sin(2 * pi * 660 * t) + 2000 * std::sin(2 * pi * 5100 * t);
        signal.push_back(stereoFrame(left, right));
    }
    return signal;
}

std::vector<uint32_t> tone(double frequency, size_t frames, double amplitude) {
    std::vector<uint32_t> signal;
    const double pi = std::acos(-1.0);
    for (size_t i = 0; i < frames; ++i) {
        const double value = amplitude * std::sin(2 * pi * frequency * static_cast<double>(i) / 44100.0);
        signal.push_back(stereoFrame(value, value));
    }
    return signal;
}

} // namespace cvn::test

namespace cvn::test {

std::map<std::string, std::string> readId3v2FramesAsWritten(const std::string& path) {
    // translate=False: the frames as the file has them, 2.3 ones included; every value of a text.
    const std::string command =
        "/usr/bin/python3 -c 'import sys, mutagen.id3\n"
        "tags = mutagen.id3.ID3(sys.argv[1], load_v1=False, translate=False)\n"
        "print(\"VERSION=2.\" + str(tags.version[1]))\n"
        "for key, frame in tags.items():\n"
        "    if key.startswith(\"APIC\"):\n"
        "        print(\"%s=%d %d %s\" % (key, frame.type, frame.encoding, frame.mime))\n"
        "    elif hasattr(frame, \"text\"):\n"
        "        print(key + \"=\" + \"|\".join(str(t) for t in frame.text).replace(\"\\n\", \"\\\\n\"))' " +
        quotedForShell(path);
    return keyValueLines(outputOf(command));
}

double decodedPeakWithFfmpeg(const std::string& path) {
    const std::string output = outputOf("ffmpeg -nostdin -hide_banner -i " + quotedForShell(path) +
                                        " -af astats=measure_perchannel=none -f null - 2>&1");
    // The peak is the larger magnitude of the lowest and the highest sample.
    const size_t lowest = output.rfind("Min level:");
    const size_t highest = output.rfind("Max level:");
    if (lowest == std::string::npos || highest == std::string::npos) {
        return -1;
    }
    return std::max(std::fabs(std::stod(output.substr(lowest + 10))), std::stod(output.substr(highest + 10)));
}

double decodedPeakWithMpg123(const std::string& path) {
    const std::string output = outputOf("mpg123 -q -e f32 -s " + quotedForShell(path) +
                                        " | /usr/bin/python3 -c 'import sys, array\n"
                                        "a = array.array(\"f\", sys.stdin.buffer.read())\n"
                                        "print(max((abs(x) for x in a), default=-1))'");
    return output.empty() ? -1 : std::stod(output);
}

double loudnessWithFfmpeg(const std::vector<std::string>& inputs) {
    // The concat demuxer joins the files' decoded audio; the concat filter loses files whose
    // timestamps do not start at 0.
    char list[] = "/tmp/velmora-concat-XXXXXX";
    const int descriptor = mkstemp(list);
    if (descriptor < 0) {
        return 0;
    }
    std::string text;
    for (const std::string& input : inputs) {
        text += "file " + quotedForShell(input) + "\n";
    }
    const bool written = write(descriptor, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(descriptor);
    const std::string output =
        written ? outputOf(std::string("ffmpeg -nostdin -hide_banner -f concat -safe 0 -i ") + list +
                           " -af ebur128 -f null - 2>&1")
                : std::string();
    std::remove(list);
    const size_t at = output.rfind("I:");
    return at == std::string::npos ? 0 : std::stod(output.substr(at + 2));
}

} // namespace cvn::test
