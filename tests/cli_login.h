#pragma once
// The login the tolvik-cli tests play against the scripted gateway: Bot.ini
// for acct / pw into Home, and the gateway's side of the dialogue.
#include <gtest/gtest.h>

#include <string>

#include "support/scripted_gateway.h"

namespace tolvik::testing {

// `extra`: more sections after [Init].
inline std::string CliBotIni(const ScriptedGateway& gateway, const std::string& extra = "") {
  return "[Init]\r\nLogin=acct\r\nPassword=pw\r\nServer=" + gateway.address() + "\r\nChannel=Home\r\n" + extra;
}

// Waits for the `clients`th connection, asks for the login, takes acct / pw
// and puts the bot in Home, with the `roster` lines after the channel.
inline void PlayCliLogin(ScriptedGateway& gateway, const std::string& roster = "", int clients = 1) {
  ASSERT_TRUE(gateway.waitForClients(clients));
  gateway.send("Enter your account name and password.\r\n");
  ASSERT_TRUE(gateway.waitForReceived("acct\r\npw\r\n"));
  gateway.send("2010 NAME acct\r\n1007 CHANNEL \"Home\"\r\n" + roster);
}

}  // namespace tolvik::testing
