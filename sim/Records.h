// The tracker's side of the line format: alignment frames, output lists and
// the records they select.
#pragma once

#include "sim/Motion.h"
#include "sim/Simulator.h"

#include <string>
#include <vector>

namespace is900sim {

// Puts a new frame, given as origin, point on X and point on Y in the
// current frame, on top of the current one; false for a degenerate frame.
bool alignOnTop(AlignmentFrame& frame, const double numbers[9]);
// Origin and axes equal within 1e-9.
bool sameFrame(const AlignmentFrame& a, const AlignmentFrame& b);
// The sample as seen in the frame.
Sample seenInFrame(const AlignmentFrame& frame, const Sample& sample);
// Rotation of the sensor in the tracker frame (columns: the sensor's axes)
// from azimuth, elevation and roll in degrees.
void rotationOf(const float angles[3], double out[3][3]);
// Azimuth, elevation and roll in degrees of such a rotation.
void anglesOf(const double rotation[3][3], float angles[3]);
// Turns the orientation by a rotation vector (radians) about the sensor's axes.
void turnAngles(float angles[3], const double rotationVector[3]);

char stationCharacter(int station);
int stationOfCharacter(char character); // 0 when not a station

std::vector<int> defaultOutputList(StationKind kind);
// Items the simulator can send: 1, 2, 4, 22, 23.
bool knownItem(int item);

// A record of the station's output list; positions in inches unless
// centimetres is set. forceCrLf replaces x by crLfFloat().
SentRecord encodeRecord(int station, const std::vector<int>& items, bool binary, bool centimetres,
                        const Sample& sample, bool forceCrLf);
// A float whose little-endian bytes are 0D 0A A0 41.
float crLfFloat();

} // namespace is900sim
