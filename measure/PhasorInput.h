#pragma once

namespace kvam {

/// What the phasor diagram is drawn from: the last measurement plus reference magnitudes and zoom.
struct PhasorInput
{
    float U1 = 0, U2 = 0, U3 = 0;     ///< phase voltages, V
    float I1 = 0, I2 = 0, I3 = 0;     ///< currents, A
    float U12 = 0, U13 = 0, U23 = 0;  ///< line voltages, V
    float Fi1 = 0, Fi2 = 0, Fi3 = 0;  ///< current angle of each phase relative to its voltage, degrees
    float Fi12 = 0, Fi13 = 0;         ///< angle of the L2 and L3 voltage relative to L1, degrees
    float Unom = 230.0f, Inom = 5.0f; ///< reference magnitudes, always >= 1.0
    float ZoomU = 1.0f, ZoomI = 1.0f; ///< 0.001 .. 100
};

} // namespace kvam
