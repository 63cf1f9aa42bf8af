#pragma once

// The two activation functions of a network layer and their derivatives. The network stores
// pointers to these functions per layer; a derivative receives both the net input s and the
// activation's value y = f(s), so tanh can use 1 − y·y without recomputing.

using ActivationFunction = double (*)(double);
using DerivativeFunction = double (*)(double net, double out);

// Code 't', shown as "tanh": f(s) = tanh(s).
double tanhActivation(double s);
// 1 − y·y.
double tanhDerivative(double s, double y);

// Code 'l', shown as "linear": f(s) = s.
double linearActivation(double s);
// 1.0.
double linearDerivative(double s, double y);

// The stored code of a layer built from a requested code: 'l' and 'x' select the linear
// function (stored as 'l'); 't' and every other code select tanh (stored as 't').
char resolveFunctionCode(char code);

// The activation and derivative of a stored code ('l' linear, anything else tanh).
ActivationFunction activationForCode(char code);
DerivativeFunction derivativeForCode(char code);
