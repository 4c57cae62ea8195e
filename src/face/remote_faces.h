#pragma once
// The bot's network listener for faces, set up from Bot.ini [Remote].
namespace tolvik {

class CHaldenDoc;
class FaceHub;

// When [Remote] Listen is set: listens there (TLS with the bot's own
// certificate, faces must give the face password) and hands the listener
// to `hub`, which says where it listens. The chat display also gets the
// certificate's fingerprint, for faces to compare on first attach, a note
// when no face password is set yet, or why it cannot listen. Returns
// whether it listens.
bool ListenForRemoteFaces(CHaldenDoc& doc, FaceHub& hub);

}  // namespace tolvik
