#pragma once

namespace corvane {

enum AuthSchemes {
  authBasic = 0,
  authDigest = 1,
  authProprietary = 2,
  authNone = 3,
  authNtlm = 4,
  authNegotiate = 5,
  authOAuth = 6,
};

enum FirewallTypes {
  fwNone = 0,
  fwTunnel = 1,
  fwSOCKS4 = 2,
  fwSOCKS5 = 3,
};

enum TFollowRedirects {
  frNever = 0,
  frAlways = 1,
  frSameScheme = 2,
};

enum ProxySSLTypes {
  psAutomatic = 0,
  psAlways = 1,
  psNever = 2,
  psTunnel = 3,
};

enum CertStoreTypes {
  cstUser = 0,
  cstMachine = 1,
  cstPFXFile = 2,
  cstPFXBlob = 3,
  cstJKSFile = 4,
  cstJKSBlob = 5,
  cstPEMKeyFile = 6,
  cstPEMKeyBlob = 7,
  cstPublicKeyFile = 8,
  cstPublicKeyBlob = 9,
  cstSSHPublicKeyBlob = 10,
  cstP7BFile = 11,
  cstP7BBlob = 12,
  cstSSHPublicKeyFile = 13,
  cstPPKFile = 14,
  cstPPKBlob = 15,
  cstXMLFile = 16,
  cstXMLBlob = 17,
};

}  // namespace corvane
