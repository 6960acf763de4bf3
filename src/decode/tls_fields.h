#pragma once
// The fields of the TLS decoder's units (records, handshake messages,
// extensions), registered once by tls.cpp.

#include "decode/fields.h"

namespace qv::tls {

using FT = FieldType;
using FB = FieldBase;

// --- records ---
inline constexpr FieldInfo kProto{"tls", "Transport Layer Security", FT::Protocol};
inline constexpr FieldInfo kRecord{"tls.record", "Record Layer", FT::None};
inline constexpr FieldInfo kContentType{"tls.record.content_type", "Content Type", FT::UInt8, FB::Dec};
inline constexpr FieldInfo kOpaqueType{"tls.record.opaque_type", "Opaque Type", FT::UInt8, FB::Dec};
inline constexpr FieldInfo kRecordVersion{"tls.record.version", "Version", FT::UInt16, FB::Hex};
inline constexpr FieldInfo kRecordLength{"tls.record.length", "Length", FT::UInt16, FB::Dec};
inline constexpr FieldInfo kAppData{"tls.app_data", "Encrypted Application Data", FT::Bytes};
inline constexpr FieldInfo kChangeCipherSpec{"tls.change_cipher_spec", "ChangeCipherSpec Message", FT::None};
inline constexpr FieldInfo kAlert{"tls.alert_message", "Alert Message", FT::None};
inline constexpr FieldInfo kAlertLevel{"tls.alert_message.level", "Level", FT::UInt8, FB::Dec};
inline constexpr FieldInfo kAlertDesc{"tls.alert_message.desc", "Description", FT::UInt8, FB::Dec};
inline constexpr FieldInfo kSegmentData{"tls.segment.data", "TLS segment data", FT::Bytes};
// The bytes of a record or message this decoder does not take apart.
inline constexpr FieldInfo kRecordData{"tls.record.data", "Record Data", FT::Bytes};

// --- handshake messages ---
inline constexpr FieldInfo kHandshake{"tls.handshake", "Handshake Protocol", FT::None};
inline constexpr FieldInfo kHsType{"tls.handshake.type", "Handshake Message Type", FT::UInt8, FB::Dec};
inline constexpr FieldInfo kHsLength{"tls.handshake.length", "Length", FT::UInt24, FB::Dec};
inline constexpr FieldInfo kHsData{"tls.handshake.message_data", "Message Data", FT::Bytes};
inline constexpr FieldInfo kHsVersion{"tls.handshake.version", "Version", FT::UInt16, FB::Hex};
inline constexpr FieldInfo kRandom{"tls.handshake.random", "Random", FT::Bytes};
inline constexpr FieldInfo kRandomTime{"tls.handshake.random_time", "GMT Unix Time", FT::AbsoluteTime};
inline constexpr FieldInfo kRandomBytes{"tls.handshake.random_bytes", "Random Bytes", FT::Bytes};
inline constexpr FieldInfo kSessionIdLength{"tls.handshake.session_id_length", "Session ID Length", FT::UInt8, FB::Dec};
inline constexpr FieldInfo kSessionId{"tls.handshake.session_id", "Session ID", FT::Bytes};
inline constexpr FieldInfo kCipherSuitesLength{"tls.handshake.cipher_suites_length", "Cipher Suites Length", FT::UInt16,
                                               FB::Dec};
inline constexpr FieldInfo kCipherSuites{"tls.handshake.ciphersuites", "Cipher Suites", FT::None};
inline constexpr FieldInfo kCipherSuite{"tls.handshake.ciphersuite", "Cipher Suite", FT::UInt16, FB::Hex};
inline constexpr FieldInfo kCompMethodsLength{"tls.handshake.comp_methods_length", "Compression Methods Length",
                                              FT::UInt8, FB::Dec};
inline constexpr FieldInfo kCompMethods{"tls.handshake.comp_methods", "Compression Methods", FT::None};
inline constexpr FieldInfo kCompMethod{"tls.handshake.comp_method", "Compression Method", FT::UInt8, FB::Dec};
inline constexpr FieldInfo kExtensionsLength{"tls.handshake.extensions_length", "Extensions Length", FT::UInt16,
                                             FB::Dec};
inline constexpr FieldInfo kCertificatesLength{"tls.handshake.certificates_length", "Certificates Length", FT::UInt24,
                                               FB::Dec};
inline constexpr FieldInfo kCertificates{"tls.handshake.certificates", "Certificates", FT::None};
inline constexpr FieldInfo kCertificateLength{"tls.handshake.certificate_length", "Certificate Length", FT::UInt24,
                                              FB::Dec};
inline constexpr FieldInfo kCertificate{"tls.handshake.certificate", "Certificate", FT::Bytes};
inline constexpr FieldInfo kCertContextLength{"tls.handshake.certificate_request_context_length",
                                              "Certificate Request Context Length", FT::UInt8, FB::Dec};
inline constexpr FieldInfo kCertContext{"tls.handshake.certificate_request_context", "Certificate Request Context",
                                        FT::Bytes};
inline constexpr FieldInfo kCurveType{"tls.handshake.server_curve_type", "Curve Type", FT::UInt8, FB::Hex};
inline constexpr FieldInfo kNamedCurve{"tls.handshake.server_named_curve", "Named Curve", FT::UInt16, FB::Hex};
inline constexpr FieldInfo kServerPointLength{"tls.handshake.server_point_len", "Pubkey Length", FT::UInt8, FB::Dec};
inline constexpr FieldInfo kServerPoint{"tls.handshake.server_point", "Pubkey", FT::Bytes};
inline constexpr FieldInfo kClientPointLength{"tls.handshake.client_point_len", "Pubkey Length", FT::UInt8, FB::Dec};
inline constexpr FieldInfo kClientPoint{"tls.handshake.client_point", "Pubkey", FT::Bytes};
inline constexpr FieldInfo kEpmsLength{"tls.handshake.epms_len", "Encrypted PreMaster length", FT::UInt16, FB::Dec};
inline constexpr FieldInfo kEpms{"tls.handshake.epms", "Encrypted PreMaster", FT::Bytes};
inline constexpr FieldInfo kSigLength{"tls.handshake.sig_len", "Signature Length", FT::UInt16, FB::Dec};
inline constexpr FieldInfo kSig{"tls.handshake.sig", "Signature", FT::Bytes};
inline constexpr FieldInfo kTicketLifetime{"tls.handshake.session_ticket_lifetime_hint", "Session Ticket Lifetime Hint",
                                           FT::UInt32, FB::Dec};
inline constexpr FieldInfo kTicketAgeAdd{"tls.handshake.session_ticket_age_add", "Session Ticket Age Add", FT::UInt32,
                                         FB::Dec};
inline constexpr FieldInfo kTicketNonceLength{"tls.handshake.session_ticket_nonce_length",
                                              "Session Ticket Nonce Length", FT::UInt8, FB::Dec};
inline constexpr FieldInfo kTicketNonce{"tls.handshake.session_ticket_nonce", "Session Ticket Nonce", FT::Bytes};
inline constexpr FieldInfo kTicketLength{"tls.handshake.session_ticket_length", "Session Ticket Length", FT::UInt16,
                                         FB::Dec};
inline constexpr FieldInfo kTicket{"tls.handshake.session_ticket", "Session Ticket", FT::Bytes};
inline constexpr FieldInfo kVerifyData{"tls.handshake.verify_data", "Verify Data", FT::None};
inline constexpr FieldInfo kCertTypesCount{"tls.handshake.cert_types_count", "Certificate types count", FT::UInt8,
                                           FB::Dec};
inline constexpr FieldInfo kCertTypes{"tls.handshake.cert_types", "Certificate types", FT::None};
inline constexpr FieldInfo kCertType{"tls.handshake.cert_type", "Certificate Type", FT::UInt8, FB::Dec};
inline constexpr FieldInfo kDnamesLength{"tls.handshake.dnames_len", "Distinguished Names Length", FT::UInt16, FB::Dec};
inline constexpr FieldInfo kDnames{"tls.handshake.dnames", "Distinguished Names", FT::None};
inline constexpr FieldInfo kDnameLength{"tls.handshake.dname_len", "Distinguished Name Length", FT::UInt16, FB::Dec};
inline constexpr FieldInfo kDname{"tls.handshake.dname", "Distinguished Name", FT::None};

// --- extensions ---
inline constexpr FieldInfo kExtType{"tls.handshake.extension.type", "Type", FT::UInt16, FB::Dec};
inline constexpr FieldInfo kExtLength{"tls.handshake.extension.len", "Length", FT::UInt16, FB::Dec};
inline constexpr FieldInfo kExtData{"tls.handshake.extension.data", "Data", FT::Bytes};
inline constexpr FieldInfo kSniListLength{"tls.handshake.extensions_server_name_list_len", "Server Name list length",
                                          FT::UInt16, FB::Dec};
inline constexpr FieldInfo kSniType{"tls.handshake.extensions_server_name_type", "Server Name Type", FT::UInt8,
                                    FB::Dec};
inline constexpr FieldInfo kSniLength{"tls.handshake.extensions_server_name_len", "Server Name length", FT::UInt16,
                                      FB::Dec};
inline constexpr FieldInfo kSni{"tls.handshake.extensions_server_name", "Server Name", FT::String};
inline constexpr FieldInfo kAlpnLength{"tls.handshake.extensions_alpn_len", "ALPN Extension Length", FT::UInt16,
                                       FB::Dec};
inline constexpr FieldInfo kAlpnList{"tls.handshake.extensions_alpn_list", "ALPN Protocol", FT::None};
inline constexpr FieldInfo kAlpnStrLength{"tls.handshake.extensions_alpn_str_len", "ALPN string length", FT::UInt8,
                                          FB::Dec};
inline constexpr FieldInfo kAlpnStr{"tls.handshake.extensions_alpn_str", "ALPN Next Protocol", FT::String};
inline constexpr FieldInfo kVersionsLength{"tls.handshake.extensions.supported_versions_len",
                                           "Supported Versions length", FT::UInt8, FB::Dec};
inline constexpr FieldInfo kVersion{"tls.handshake.extensions.supported_version", "Supported Version", FT::UInt16,
                                    FB::Hex};
inline constexpr FieldInfo kGroupsLength{"tls.handshake.extensions_supported_groups_length",
                                         "Supported Groups List Length", FT::UInt16, FB::Dec};
inline constexpr FieldInfo kGroups{"tls.handshake.extensions_supported_groups", "Supported Groups List", FT::None};
inline constexpr FieldInfo kGroup{"tls.handshake.extensions_supported_group", "Supported Group", FT::UInt16, FB::Hex};
inline constexpr FieldInfo kKeyShareLength{"tls.handshake.extensions_key_share_client_length",
                                           "Client Key Share Length", FT::UInt16, FB::Dec};
inline constexpr FieldInfo kKeyShareGroup{"tls.handshake.extensions_key_share_group", "Group", FT::UInt16, FB::Dec};
inline constexpr FieldInfo kKeyExchangeLength{"tls.handshake.extensions_key_share_key_exchange_length",
                                              "Key Exchange Length", FT::UInt16, FB::Dec};
inline constexpr FieldInfo kKeyExchange{"tls.handshake.extensions_key_share_key_exchange", "Key Exchange", FT::Bytes};
inline constexpr FieldInfo kSelectedGroup{"tls.handshake.extensions_key_share_selected_group", "Selected Group",
                                          FT::UInt16, FB::Dec};
inline constexpr FieldInfo kSigAlgsLength{"tls.handshake.sig_hash_alg_len", "Signature Hash Algorithms Length",
                                          FT::UInt16, FB::Dec};
inline constexpr FieldInfo kSigAlgs{"tls.handshake.sig_hash_algs", "Signature Algorithms", FT::None};
inline constexpr FieldInfo kSigAlg{"tls.handshake.sig_hash_alg", "Signature Algorithm", FT::UInt16, FB::Hex};
inline constexpr FieldInfo kSigHash{"tls.handshake.sig_hash_hash", "Signature Hash Algorithm Hash", FT::UInt8, FB::Dec};
inline constexpr FieldInfo kSigSig{"tls.handshake.sig_hash_sig", "Signature Hash Algorithm Signature", FT::UInt8,
                                   FB::Dec};
inline constexpr FieldInfo kPointFormatsLength{"tls.handshake.extensions_ec_point_formats_length",
                                               "EC point formats Length", FT::UInt8, FB::Dec};
inline constexpr FieldInfo kPointFormats{"tls.handshake.extensions_ec_point_formats", "EC point formats", FT::None};
inline constexpr FieldInfo kPointFormat{"tls.handshake.extensions_ec_point_format", "EC point format", FT::UInt8,
                                        FB::Dec};
inline constexpr FieldInfo kPskModesLength{"tls.extension.psk_ke_modes_length", "PSK Key Exchange Modes Length",
                                           FT::UInt8, FB::Dec};
inline constexpr FieldInfo kPskMode{"tls.extension.psk_ke_mode", "PSK Key Exchange Mode", FT::UInt8, FB::Dec};
inline constexpr FieldInfo kRenegLength{"tls.handshake.extensions_reneg_info_len",
                                        "Renegotiation info extension length", FT::UInt8, FB::Dec};
inline constexpr FieldInfo kReneg{"tls.handshake.extensions_reneg_info", "Renegotiation info", FT::Bytes};
inline constexpr FieldInfo kStatusType{"tls.handshake.extensions_status_request_type", "Certificate Status Type",
                                       FT::UInt8, FB::Dec};
inline constexpr FieldInfo kStatusResponders{"tls.handshake.extensions_status_request_responder_ids_len",
                                             "Responder ID list Length", FT::UInt16, FB::Dec};
inline constexpr FieldInfo kStatusExts{"tls.handshake.extensions_status_request_exts_len", "Request Extensions Length",
                                       FT::UInt16, FB::Dec};
inline constexpr FieldInfo kPaddingData{"tls.handshake.extensions_padding_data", "Padding Data", FT::Bytes};
inline constexpr FieldInfo kRecordSizeLimit{"tls.record_size_limit", "Record Size Limit", FT::UInt16, FB::Dec};
inline constexpr FieldInfo kCompressAlgsLength{"tls.compress_certificate.algorithms_length", "Algorithms Length",
                                               FT::UInt8, FB::Dec};
inline constexpr FieldInfo kCompressAlg{"tls.compress_certificate.algorithm", "Algorithm", FT::UInt16, FB::Dec};
inline constexpr FieldInfo kAlpsLength{"tls.handshake.extensions_alps_len", "ALPS Extension Length", FT::UInt16,
                                       FB::Dec};
inline constexpr FieldInfo kAlpsStrLength{"tls.handshake.extensions_alps_alpn_str_len", "Supported ALPN Length",
                                          FT::UInt8, FB::Dec};
inline constexpr FieldInfo kAlpsStr{"tls.handshake.extensions_alps_alpn_str", "Supported ALPN", FT::String};
inline constexpr FieldInfo kPskIdentitiesLength{"tls.handshake.extensions.psk.identities.length", "Identities Length",
                                                FT::UInt16, FB::Dec};
inline constexpr FieldInfo kPskIdentityLength{"tls.handshake.extensions.psk.identity.identity_length",
                                              "Identity Length", FT::UInt16, FB::Dec};
inline constexpr FieldInfo kPskIdentity{"tls.handshake.extensions.psk.identity.identity", "Identity", FT::Bytes};
inline constexpr FieldInfo kPskTicketAge{"tls.handshake.extensions.psk.identity.obfuscated_ticket_age",
                                         "Obfuscated Ticket Age", FT::UInt32, FB::Dec};
inline constexpr FieldInfo kPskBindersLength{"tls.handshake.extensions.psk.binders_len", "PSK Binders length",
                                             FT::UInt16, FB::Dec};
inline constexpr FieldInfo kPskBinders{"tls.handshake.extensions.psk.binders", "PSK Binders", FT::None};
inline constexpr FieldInfo kPskSelected{"tls.handshake.extensions.psk.identity.selected", "Selected Identity",
                                        FT::UInt16, FB::Dec};
inline constexpr FieldInfo kMaxEarlyData{"tls.early_data.max_early_data_size", "Maximum Early Data Size", FT::UInt32,
                                         FB::Dec};
// Encrypted ClientHello (draft-ietf-tls-esni): tshark 4.0 knows none of it.
inline constexpr FieldInfo kEchType{"tls.ech.client_hello_type", "Client Hello type", FT::UInt8, FB::Dec};
inline constexpr FieldInfo kEchKdf{"tls.ech.hpke.keyconfig.cipher_suite.kdf_id", "KDF Id", FT::UInt16, FB::Hex};
inline constexpr FieldInfo kEchAead{"tls.ech.hpke.keyconfig.cipher_suite.aead_id", "AEAD Id", FT::UInt16, FB::Hex};
inline constexpr FieldInfo kEchConfigId{"tls.ech.config_id", "Config Id", FT::UInt8, FB::Dec};
inline constexpr FieldInfo kEchEncLength{"tls.ech.enc_length", "Enc length", FT::UInt16, FB::Dec};
inline constexpr FieldInfo kEchEnc{"tls.ech.enc", "Enc", FT::Bytes};
inline constexpr FieldInfo kEchPayloadLength{"tls.ech.payload_length", "Payload length", FT::UInt16, FB::Dec};
inline constexpr FieldInfo kEchPayload{"tls.ech.payload", "Payload", FT::Bytes};
// QUIC transport parameters: ids and lengths are variable-length integers.
inline constexpr FieldInfo kQuicParameter{"tls.quic.parameter", "Parameter", FT::None};
inline constexpr FieldInfo kQuicParamType{"tls.quic.parameter.type", "Type", FT::UInt64, FB::Dec};
inline constexpr FieldInfo kQuicParamLength{"tls.quic.parameter.length", "Length", FT::UInt64, FB::Dec};
inline constexpr FieldInfo kQuicParamValue{"tls.quic.parameter.value", "Value", FT::Bytes};

}  // namespace qv::tls
