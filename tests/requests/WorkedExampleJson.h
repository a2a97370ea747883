#pragma once

#include <string>

// The selected-item report of the worked example (a take of /Sounds/door slam.wav, 12.48 s
// at 48 kHz, from 1.25 s on, 4 s long), byte for byte as the library application reads it.
inline const std::string kWorkedExampleJson = "{\r\n"
                                              "  \"src\": \"/Sounds/door slam.wav\",\r\n"
                                              "  \"start\": 1.250,\r\n"
                                              "  \"len\": 4.000,\r\n"
                                              "  \"pcmsr\": 48000,\r\n"
                                              "  \"pcmlen\": 12.480\r\n"
                                              "}";
