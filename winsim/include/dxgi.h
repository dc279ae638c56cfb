// DXGI: the device's DXGI side.
//
// Like every winsim SDK header, this declares the members winsim implements,
// in the relative order of the Windows SDK's vtables, with the SDK's IIDs. The
// module and winsim are always compiled from this one declaration, so the
// omitted members do not change what either side calls.
#pragma once

#include <dxgiformat.h>
#include <unknwn.h>

typedef struct DXGI_SAMPLE_DESC {
  UINT Count;
  UINT Quality;
} DXGI_SAMPLE_DESC;

// {AEC22FB8-76F3-4639-9BE0-28EB43A67A2E}
inline constexpr IID IID_IDXGIObject = {
    0xAEC22FB8, 0x76F3, 0x4639, {0x9B, 0xE0, 0x28, 0xEB, 0x43, 0xA6, 0x7A, 0x2E}};

struct IDXGIObject : public IUnknown {};

// {2411E7E1-12AC-4CCF-BD14-9798E8534DC0}
inline constexpr IID IID_IDXGIAdapter = {
    0x2411E7E1, 0x12AC, 0x4CCF, {0xBD, 0x14, 0x97, 0x98, 0xE8, 0x53, 0x4D, 0xC0}};

struct IDXGIAdapter : public IDXGIObject {};

// {54EC77FA-1377-44E6-8C32-88FD5F44C84C}
inline constexpr IID IID_IDXGIDevice = {
    0x54EC77FA, 0x1377, 0x44E6, {0x8C, 0x32, 0x88, 0xFD, 0x5F, 0x44, 0xC8, 0x4C}};

struct IDXGIDevice : public IDXGIObject {};
