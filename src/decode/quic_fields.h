#pragma once
// The fields of QUIC's lines, shared by the header and the frame units;
// quic.cpp registers them.

#include "decode/fields.h"

namespace qv::quicfield {

inline constexpr FieldInfo kProto{"quic", "QUIC IETF", FieldType::Protocol};
inline constexpr FieldInfo kHeaderForm{"quic.header_form", "Header Form", FieldType::UInt8, FieldBase::Dec, 0x80};
inline constexpr FieldInfo kFixedBit{"quic.fixed_bit", "Fixed Bit", FieldType::Boolean, FieldBase::None, 0x40, 1};
inline constexpr FieldInfo kLongPacketType{"quic.long.packet_type", "Packet Type", FieldType::UInt8, FieldBase::Dec,
                                           0x30};
inline constexpr FieldInfo kLongPacketTypeV2{"quic.long.packet_type_v2", "Packet Type", FieldType::UInt8,
                                             FieldBase::Dec, 0x30};
inline constexpr FieldInfo kLongReserved{"quic.long.reserved", "Reserved", FieldType::UInt8, FieldBase::Dec, 0x0c};
inline constexpr FieldInfo kPacketNumberLength{"quic.packet_number_length", "Packet Number Length", FieldType::UInt8,
                                               FieldBase::Dec, 0x03};
inline constexpr FieldInfo kVersion{"quic.version", "Version", FieldType::UInt32, FieldBase::Hex};
inline constexpr FieldInfo kDcil{"quic.dcil", "Destination Connection ID Length", FieldType::UInt8, FieldBase::Dec};
inline constexpr FieldInfo kDcid{"quic.dcid", "Destination Connection ID", FieldType::Bytes};
inline constexpr FieldInfo kScil{"quic.scil", "Source Connection ID Length", FieldType::UInt8, FieldBase::Dec};
inline constexpr FieldInfo kScid{"quic.scid", "Source Connection ID", FieldType::Bytes};
inline constexpr FieldInfo kTokenLength{"quic.token_length", "Token Length", FieldType::UInt64, FieldBase::Dec};
inline constexpr FieldInfo kToken{"quic.token", "Token", FieldType::Bytes};
inline constexpr FieldInfo kLength{"quic.length", "Length", FieldType::UInt64, FieldBase::Dec};
inline constexpr FieldInfo kPacketNumber{"quic.packet_number", "Packet Number", FieldType::UInt64, FieldBase::Dec};
inline constexpr FieldInfo kSupportedVersion{"quic.supported_version", "Supported Version", FieldType::UInt32,
                                             FieldBase::Hex};
inline constexpr FieldInfo kVnUnused{"quic.vn.unused", "Unused", FieldType::UInt8, FieldBase::Hex, 0x7f};
inline constexpr FieldInfo kShort{"quic.short", "QUIC Short Header", FieldType::None};
inline constexpr FieldInfo kSpinBit{"quic.spin_bit", "Spin Bit", FieldType::Boolean, FieldBase::None, 0x20, 1};
inline constexpr FieldInfo kPayload{"quic.payload", "Payload", FieldType::Bytes};
inline constexpr FieldInfo kProtectedPayload{"quic.protected_payload", "Protected Payload", FieldType::Bytes};
inline constexpr FieldInfo kRemainingPayload{"quic.remaining_payload", "Remaining Payload", FieldType::Bytes};
inline constexpr FieldInfo kRetryToken{"quic.retry_token", "Retry Token", FieldType::Bytes};
inline constexpr FieldInfo kRetryTag{"quic.retry_integrity_tag", "Retry Integrity Tag", FieldType::Bytes};
inline constexpr FieldInfo kDecryptionFailed{"quic.decryption_failed", "Failed to decrypt handshake", FieldType::None};
inline constexpr FieldInfo kCoalescedPadding{"quic.coalesced_padding_data", "Coalesced Padding Data",
                                             FieldType::None};

// Frames.
inline constexpr FieldInfo kFrame{"quic.frame", "Frame", FieldType::None};
inline constexpr FieldInfo kFrameType{"quic.frame_type", "Frame Type", FieldType::UInt64, FieldBase::Hex};
inline constexpr FieldInfo kPaddingLength{"quic.padding_length", "Padding Length", FieldType::UInt32,
                                          FieldBase::Dec};
inline constexpr FieldInfo kAckLargest{"quic.ack.largest_acknowledged", "Largest Acknowledged", FieldType::UInt64,
                                       FieldBase::Dec};
inline constexpr FieldInfo kAckDelay{"quic.ack.ack_delay", "ACK Delay", FieldType::UInt64, FieldBase::Dec};
inline constexpr FieldInfo kAckRangeCount{"quic.ack.ack_range_count", "ACK Range Count", FieldType::UInt64,
                                          FieldBase::Dec};
inline constexpr FieldInfo kAckFirstRange{"quic.ack.first_ack_range", "First ACK Range", FieldType::UInt64,
                                          FieldBase::Dec};
inline constexpr FieldInfo kAckGap{"quic.ack.gap", "Gap", FieldType::UInt64, FieldBase::Dec};
inline constexpr FieldInfo kAckRange{"quic.ack.ack_range", "ACK Range", FieldType::UInt64, FieldBase::Dec};
inline constexpr FieldInfo kAckEct0{"quic.ack.ect0_count", "ECT(0) Count", FieldType::UInt64, FieldBase::Dec};
inline constexpr FieldInfo kAckEct1{"quic.ack.ect1_count", "ECT(1) Count", FieldType::UInt64, FieldBase::Dec};
inline constexpr FieldInfo kAckEcnCe{"quic.ack.ecn_ce_count", "ECN-CE Count", FieldType::UInt64, FieldBase::Dec};
inline constexpr FieldInfo kCryptoOffset{"quic.crypto.offset", "Offset", FieldType::UInt64, FieldBase::Dec};
inline constexpr FieldInfo kCryptoLength{"quic.crypto.length", "Length", FieldType::UInt64, FieldBase::Dec};
inline constexpr FieldInfo kCryptoData{"quic.crypto.crypto_data", "Crypto Data", FieldType::None};
inline constexpr FieldInfo kNewTokenLength{"quic.nt.length", "(Token) Length", FieldType::UInt64, FieldBase::Dec};
inline constexpr FieldInfo kNewTokenToken{"quic.nt.token", "Token", FieldType::Bytes};
inline constexpr FieldInfo kCloseErrorCode{"quic.cc.error_code", "Error code", FieldType::UInt64, FieldBase::Dec};
inline constexpr FieldInfo kCloseAppErrorCode{"quic.cc.error_code.app", "Application Error code", FieldType::UInt64,
                                              FieldBase::Dec};
inline constexpr FieldInfo kCloseFrameType{"quic.cc.frame_type", "Frame Type", FieldType::UInt64, FieldBase::Dec};
inline constexpr FieldInfo kCloseReasonLength{"quic.cc.reason_phrase.length", "Reason phrase Length",
                                              FieldType::UInt64, FieldBase::Dec};
inline constexpr FieldInfo kCloseReason{"quic.cc.reason_phrase", "Reason phrase", FieldType::String};

}  // namespace qv::quicfield
